#pragma once

#include <QString>

#include "SourceTable.h"

// The sources a linked table can point at, named by the engine's link strings:
//   ";DATABASE=<path>"                            a database file, table by name
//   "Excel 5.0;HDR=YES;IMEX=2;DATABASE=<path>"    a worksheet, table "<sheet>$"
// The path is everything after "DATABASE=", so it may hold ";".
namespace LinkedSource {

struct Link {
    enum class Kind { Database, Excel };
    Kind kind = Kind::Database;
    QString path;
    bool header = true;  // HDR=YES: the first row of a sheet names the columns
};

// Reads a link string. Fails with 3264 when it is empty, 3170 when its type is not
// one the engine can read, 3024 when it names no file.
Link Parse(const QString& connect);

// Reads the whole source table. Fails with the engine's error when the file is
// missing (3024), unreadable (3051), not of its kind (3343, 3274) or when the table
// or sheet is not in it (3011); every description names the file.
SourceTable Load(const QString& connect, const QString& sourceTable);

}  // namespace LinkedSource
