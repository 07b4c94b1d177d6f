#include "SourceTable.h"

int SourceTable::ColumnIndex(const QString& name) const {
    for (qsizetype i = 0; i < columns.size(); ++i)
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
    return -1;
}
