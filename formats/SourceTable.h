#pragma once

#include "RuntimeError.h"
#include "SourceRows.h"
#include "Variant.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// A byte of a file read as UTF-8 that is no part of UTF-8: read as the ANSI code
// page reads it, and reported.
struct InvalidByte {
    int64_t line = 0;  // the line of the file it stands in, from 1
    uint8_t byte = 0;
    QString readAs;
};

// A unit of a translation file that is not imported: its place (from 1) and ID.
struct SkippedUnit {
    int64_t row = 0;
    QString id;
};

// How a reader read the file: the encoding a text file was decoded in and what
// did not fit; the units of a translation file it left out.
struct SourceReading {
    QString encoding;   // "UTF-8", "Windows-1251"; empty for sources that are no text file
    bool ansi = false;  // decoded in an ANSI code page, not in a Unicode encoding
    std::vector<InvalidByte> invalidBytes;
    std::vector<SkippedUnit> untranslated;  // no translation yet
    std::vector<SkippedUnit> withCodes;     // a target holding placeholder codes
};

// A cell whose value a reader could not read. It fails an import that uses its
// column, with the error that names it; other columns are read as usual.
struct UnreadableCell {
    size_t column = 0;  // in the table's columns
    RuntimeError error;
};

// The rows of a table or sheet read from an import source: column names in table
// order and the rows, each read as wide as the column list.
struct SourceTable {
    QString fileName;
    QString tableName;
    QStringList columns;
    SourceRows rows;
    // How messages name the table, e.g. "in der Textdatei '/a/b.csv'"; empty where
    // they name it by table and file.
    QString place;
    SourceReading reading;
    // In the order of the rows; of a column the first only (the one an import of it fails with).
    std::vector<UnreadableCell> unreadable;
};
