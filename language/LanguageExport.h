#pragma once

#include "MLanguageTransfer.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The export of a language's texts for translators: a workbook or text file with
// the sheet "TidxTexts", the same table the import reads back.
namespace LanguageExport {

struct Options {
    // A second language written beside the ID for the translator to read.
    std::optional<int32_t> reference;
    // Only the texts the language does not have yet (Null or empty).
    bool missingOnly = false;
};

// A text that its code page's form would not give back the same through an
// import: written as it is stored.
struct AsStored {
    double id = 0;
    QString text;
};

struct Result {
    int64_t rows = 0;
    std::vector<AsStored> asStored;
    std::vector<double> omitted;       // texts the format cannot hold, not in the file
    std::optional<int32_t> reference;  // the reference language written

    // Texts written as stored or left out: worth the user's look.
    bool HasFindings() const { return !asStored.empty() || !omitted.empty(); }
    // "8 Texte nach „ru.xlsx“ exportiert."
    QString Summary(const QString& outputFile) const;
    // The texts written as stored and those left out, each with its ID.
    QString Details() const;
};

// Writes the language's texts of the project into outputFile, its format by its
// extension (see ExportWriter::Formats): a row naming the columns "ID", the
// reference language's column and the language's column, then one row per
// project text in ID order. A format that needs a reference (XLIFF) without one
// asked for gets German where the project has it and it is not the language,
// else the project's first other language; a project with no other fails. Texts stored in the
// code-page form are turned back into their real characters, exactly the inverse of the import's
// conversion. The file is written beside its name and put in its place when it is complete, so a
// failure leaves an existing file as it was; the project is only read. Fails with a RuntimeError
// (3059 when progress cancels).
Result Export(const QString& projectFile, int32_t lcid, const QString& outputFile,
              const Options& options = {}, const MLanguageTransfer::ImportProgress& progress = {});

}  // namespace LanguageExport
