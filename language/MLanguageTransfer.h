#pragma once

#include "ImportReport.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class Database;
class LanguageList;

// The language operations on a project's text table TidxTexts: one row per text,
// keyed by ID, and one column per language named "L" + the decimal LCID.
namespace MLanguageTransfer {

// The column of a language: "L" + the LCID as a decimal 32-bit signed integer.
QString LanguageColumn(int32_t lcid);

// Fills the list with the languages of the project: one entry per column of
// TidxTexts whose name starts with an upper-case "L", in column order, reading
// "<the system's name of the language> [<LCID>]" with the LCID as item data.
// The list is cleared first; an empty path touches no file. Fails (RuntimeError)
// when the project cannot be opened or has no TidxTexts, when the rest of such a
// column name is no 32-bit number (13, 6), or when the system knows no language
// for the LCID (5); the entries added before stay.
void FillLanguageList(const QString& projectFile, LanguageList& list);

// Copies the texts of one language from a source file into the project file.
// The source's format follows its extension, as the table of source formats
// says (SourceFormats): another project, a database file, a workbook's sheet
// TidxTexts, a delimited text file.
// Every project row whose ID equals the Val() of a source row's ID gets that
// row's text, Null included; of several source rows with the same ID the last one
// in the source's order wins; other rows and columns are untouched. Texts from
// every format but another project are converted to the language's code-page
// form as they are written (see LanguageRecoding), each once.
// The previous values of the changed texts are kept in the undo store (see
// UndoStore). All of it is one transaction: on failure the project's texts and
// the store are as before. Returns what the import did; fails with a RuntimeError.
// progress, when given, is told every few thousand source rows how many have been
// read of how many; returning false cancels the import (3059), which changes nothing.
// A text file (".csv") is read in the encoding options name, else in the one
// found from its bytes, else in the language's ANSI code page (see CsvFile).
// An empty value (Null or "") over an empty text (Null or "") changes nothing.
using ImportProgress = std::function<bool(int64_t done, int64_t total)>;
// Every text the source gives is checked against the text of the same ID in the
// reference language (see TranslationChecks), listed in the report: the language
// options name, else German (L1031) where the project has it and it is not the
// language imported, else none and nothing is checked.
struct ImportOptions {
    int encoding = 0;  // a text file's code page (65001 UTF-8, 1251, ...); 0 finds it
    std::optional<int32_t> reference;
    bool checkTranslations = true;  // false: no checks, whatever the reference
};
ImportReport ImportLanguage(const QString& projectFile, int32_t lcid, const QString& sourceFile,
                            const ImportProgress& progress = {}, const ImportOptions& options = {});

// What ImportLanguage would do, without writing anything: the project is opened
// only for reading and no link is left in it. Fails as ImportLanguage does.
ImportReport PreviewLanguage(const QString& projectFile, int32_t lcid, const QString& sourceFile,
                             const ImportProgress& progress = {},
                             const ImportOptions& options = {});

// The language texts of lcid are checked against: the one asked for (failing
// with 3061 when the project does not have it), else German where the project
// has it and it is not lcid; none without either.
std::optional<int32_t> ReferenceLanguage(Database& db, int32_t lcid, std::optional<int32_t> asked);

// Whether the source is a text file, the one kind an encoding applies to.
bool IsTextFile(const QString& sourceFile);

// ImportLanguage for the window: returns true on success and, when asked, the
// report; on failure shows "Fehler beim Importieren einer Sprache!" with the
// error's number and description and returns false; a cancelled import returns
// false and shows nothing. Never throws.
bool TransferLanguage(const QString& projectFile, int32_t lcid, const QString& sourceFile,
                      ImportReport* report = nullptr, const ImportProgress& progress = {},
                      const ImportOptions& options = {});

}  // namespace MLanguageTransfer
