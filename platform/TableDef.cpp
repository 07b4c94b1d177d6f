#include "TableDef.h"

#include "Database.h"
#include "SqliteConnection.h"

QStringList TableDef::Fields() const {
    if (!database_) return {};
    if (IsLink()) return database_->Linked(*this).columns;
    return database_->Connection().Columns(name_);
}
