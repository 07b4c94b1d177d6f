#pragma once

#include "SheetStream.h"
#include "SourceTable.h"

#include <QString>
#include <QStringList>

#include <cstdint>

#include <vector>

// The formats an import reads, one row each: how a file of the format is named,
// linked, read and converted. The import, the engine's link parser, the
// messages, the window's file filter and the command line's help all read this
// table, so a new format is one row and one reader.
namespace SourceFormats {

// How the engine links a file of the format into a project.
enum class Linking {
    DatabaseFile,  // ";DATABASE=<file>", table TidxTexts: SQLite, or Access through its helper
    Sheet,         // "<type>;HDR=YES;IMEX=2;DATABASE=<file>", table "TidxTexts$" (the sheet)
    FileInFolder,  // "<type>;HDR=YES;FMT=Delimited;DATABASE=<folder>", table "<name>#<ext>"
    Document,      // "<type>;LANGUAGE=<lcid>;DATABASE=<file>", table TidxTexts: one
                   // language's translations, named by the file for that language
};

// What a reader is given beside the file.
struct ReadOptions {
    bool header = true;             // the first row names the columns
    int characterSet = 0;           // a text file's encoding (code page); 0: found from its bytes
    int defaultCharacterSet = 0;    // what a text file that is no Unicode is read in; 0: 1252
    int32_t language = 0;           // the language a document's translations are for
    SheetStream* stream = nullptr;  // a sheet's rows also go here as they are read
};

struct Format {
    QString extension;     // as FileTools::GetExtension gives it, compared exactly: "xlsx"
    QString description;   // with its article, for the help: "eine Excel-Arbeitsmappe"
    QString windowFilter;  // its entry in the import window's filter; empty: "Alle Dateien" only
    Linking linking;
    QStringList linkTypes;  // the type of its link string: the first is written, all are read
    bool convertsTexts;     // real characters, converted to the language's code-page form
    // Reads the table or sheet of the file; null for database files, which the
    // engine opens itself. Fails with a RuntimeError naming the file.
    SourceTable (*read)(const QString& path, const QString& table, const ReadOptions& options);
    // Its reader hands a sheet's rows on as it reads them (see SheetStream): the
    // sheet is read on a thread of its own while the import begins with its rows.
    bool streamsRows = false;
};

const std::vector<Format>& All();

// The format of a file's extension (exactly as written), or null.
const Format* ForExtension(const QString& extension);
// The format a link string's type names (without regard to case; empty for a
// database file), or null.
const Format* ForLinkType(const QString& type);

// The link string and the source table of a file of the format.
QString Connect(const Format& format, const QString& path, const ReadOptions& options = {});
QString SourceTableName(const Format& format, const QString& path);

// ".qrp, .mdb, .xls, .xlsx, .csv"
QString Extensions();
// "eine Projektdatei (.qrp), eine Datenbank (.mdb), eine Excel-Arbeitsmappe
// (.xls, .xlsx) oder eine Textdatei (.csv)": formats of one description together.
QString Described();
// The import window's file filter: "description (*.ext)|*.ext|...|Alle Dateien (*.*)|*.*".
QString WindowFilter();

}  // namespace SourceFormats
