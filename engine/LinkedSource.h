#pragma once

#include "SourceFormats.h"
#include "SourceTable.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class SheetReading;
class SqliteConnection;

// The sources a linked table can point at, named by the engine's link strings
// (see SourceFormats::Connect): a database file (";DATABASE=<path>", a table by
// name), a workbook ("Excel 5.0;HDR=YES;IMEX=2;DATABASE=<path>", the table
// "<sheet>$"), a delimited text file of a folder ("Text;HDR=YES;FMT=Delimited;
// DATABASE=<folder>", the table "<name>#<ext>"). The type before the first ";"
// names the format. The path is everything after "DATABASE=", so it may hold
// ";". A text link may name the file's encoding: "CharacterSet=<code page>" reads
// it in that one (65001 UTF-8, 1200 UTF-16), "DefaultCharacterSet=<code page>"
// in that one where the file is neither UTF-8 nor UTF-16 (the language's ANSI
// code page; Windows-1252 without it). A translation document
// ("XLIFF;LANGUAGE=<lcid>;DATABASE=<file>", the table TidxTexts) names the
// language its translations are read for.
namespace LinkedSource {

struct Link {
    const SourceFormats::Format* format = nullptr;
    QString path;
    SourceFormats::ReadOptions options;
};

// Reads a link string. Fails with 3264 when it is empty, 3170 when its type is not
// one the engine can read, 3024 when it names no file.
Link Parse(const QString& connect);

// A linked table while a connection uses it: its columns, and either its rows
// (read from a workbook or an Access file) or the open database file whose table
// is read row by row when a statement uses it.
struct LinkedTable {
    QString fileName;
    QString tableName;  // as the source stores it
    QStringList columns;
    std::optional<SourceTable> rows;
    std::unique_ptr<SqliteConnection> database;
    // A sheet still being read, its rows streamed; its columns and rows are
    // those of Table() once it is read.
    std::unique_ptr<SheetReading> reading;

    // The columns; of a sheet still being read once it is read.
    const QStringList& Columns() const;
    // The rows read whole: of a sheet still being read once it is read; null
    // for a database file's table.
    const SourceTable* Table() const;

    LinkedTable();
    LinkedTable(LinkedTable&&) noexcept;
    ~LinkedTable();
};

// Opens the source table: reads a workbook's sheet (on a thread of its own, the
// sheet's header read when it returns) or an Access table whole, or
// opens a database file and checks that the table is in it. Fails with the
// engine's error when the file is missing (3024), unreadable (3051), not of its
// kind (3343, 3274) or when the table or sheet is not in it (3011); every
// description names the file.
// A database file locked by another process is waited for up to lockTimeoutMs.
LinkedTable Open(const QString& connect, const QString& sourceTable, int lockTimeoutMs);

}  // namespace LinkedSource
