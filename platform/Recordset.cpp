#include "Recordset.h"

#include "LinkedRowsModule.h"
#include "RuntimeError.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

Recordset::Recordset(SqliteConnection& connection, QString databaseName, const QString& table,
                     std::vector<int64_t> rows)
    : connection_(connection),
      databaseName_(std::move(databaseName)),
      table_(table),
      rows_(std::move(rows)) {
    for (const QString& column : connection_.Columns(table_)) columns_.push_back(column);
}

Recordset::~Recordset() {
    try {
        WriteUpdatedRows();
    } catch (...) {
        // Close reports failures; a recordset given up without it cannot.
    }
}

void Recordset::MoveFirst() {
    if (rows_.empty()) throw RuntimeError::NoCurrentRecord(table_);
    position_ = 0;
    editing_ = false;
}

void Recordset::MoveNext() {
    RequireCurrent();
    ++position_;
    editing_ = false;
}

void Recordset::RequireCurrent() const {
    if (Eof()) throw RuntimeError::NoCurrentRecord(table_);
}

const QString& Recordset::Column(const QString& name) {
    for (const QString& column : columns_)
        if (column == name) return column;
    for (const QString& column : columns_)
        if (column.compare(name, Qt::CaseInsensitive) == 0) return column;
    throw RuntimeError::FieldNotInRecordset(name, table_);
}

Variant Recordset::Value(const QString& name) {
    RequireCurrent();
    const QString& column = Column(name);
    auto loaded = values_.find(column);
    if (loaded == values_.end()) {
        LoadColumn(column);
        loaded = values_.find(column);
    }
    return loaded->second[position_];
}

void Recordset::LoadColumn(const QString& column) {
    WriteUpdatedRows();  // the table must hold what was updated before it is read
    // One statement for all rows: the row ids go in as a linked table, and each
    // comes back with its value in the recordset's order (Null for a row now gone).
    SourceTable ids;
    ids.rows.reserve(rows_.size());
    for (int64_t row : rows_) ids.rows.push_back({Variant(static_cast<double>(row))});
    SqliteConnection& c = connection_;
    LinkedRowsModule::Scope scope(c.LinkedRows(), ids, 0, 0);
    SqliteStatement select(
        c.Handle(),
        QStringLiteral("SELECT t.%1 FROM linked_rows AS s LEFT JOIN main.%2 AS t ON t.rowid = s.k")
            .arg(QuoteIdentifier(column), QuoteIdentifier(table_)),
        databaseName_);
    std::vector<Variant> values;
    values.reserve(rows_.size());
    while (select.Step() && values.size() < rows_.size()) values.push_back(select.Column(0));
    values.resize(rows_.size());
    values_[column] = std::move(values);
}

void Recordset::Edit() {
    RequireCurrent();
    pending_.clear();
    editing_ = true;
}

void Recordset::SetValue(const QString& name, const Variant& value) {
    if (!editing_) throw RuntimeError::UpdateWithoutEdit(table_);
    pending_[Column(name)] = value;
}

void Recordset::Update() {
    if (!editing_) throw RuntimeError::UpdateWithoutEdit(table_);
    for (const auto& [column, value] : pending_) {
        SourceTable& batch = unwritten_[column];
        batch.rows.push_back({Variant(static_cast<double>(rows_[position_])), value});
        if (auto loaded = values_.find(column); loaded != values_.end())
            loaded->second[position_] = value;
    }
    pending_.clear();
    editing_ = false;
}

void Recordset::WriteUpdatedRows() {
    SqliteConnection& c = connection_;
    while (!unwritten_.empty()) {
        auto batch = unwritten_.begin();
        // One statement per column: the rows go in as a linked table of row ids and values.
        LinkedRowsModule::Scope rows(c.LinkedRows(), batch->second, 0, 1);
        SqliteStatement update(
            c.Handle(),
            QStringLiteral("UPDATE main.%1 SET %2 = s.v FROM linked_rows AS s WHERE %1.rowid = s.k")
                .arg(QuoteIdentifier(table_), QuoteIdentifier(batch->first)),
            databaseName_);
        update.Step();
        unwritten_.erase(batch);
    }
}

void Recordset::Close() {
    WriteUpdatedRows();
    values_.clear();
    rows_.clear();
    position_ = 0;
}
