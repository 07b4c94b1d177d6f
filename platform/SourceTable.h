#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "Variant.h"

// The rows of a table or sheet read from an import source: column names in table
// order and one vector of values per row, as wide as the column list.
struct SourceTable {
    QString fileName;
    QString tableName;
    QStringList columns;
    std::vector<std::vector<Variant>> rows;

    // Index of a column by name, compared as the engine does (ignoring case); -1 if absent.
    int ColumnIndex(const QString& name) const;
};
