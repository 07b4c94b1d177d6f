#pragma once

#include "Variant.h"

#include <QString>
#include <QStringList>

#include <vector>

// The rows of a table or sheet read from an import source: column names in table
// order and one vector of values per row, as wide as the column list.
struct SourceTable {
    QString fileName;
    QString tableName;
    QStringList columns;
    std::vector<std::vector<Variant>> rows;
};
