#include "Recordset.h"

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
    // One prepared statement, run for each row in the recordset's order (Null for a row now gone).
    SqliteStatement select(connection_.Handle(),
                           QStringLiteral("SELECT %1 FROM main.%2 WHERE rowid = ?1")
                               .arg(QuoteIdentifier(column), QuoteIdentifier(table_)),
                           databaseName_);
    std::vector<Variant> values;
    values.reserve(rows_.size());
    for (int64_t row : rows_) {
        select.Reset();
        select.BindInt64(1, row);
        values.push_back(select.Step() ? select.Column(0) : Variant());
    }
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
    while (!unwritten_.empty()) {
        auto batch = unwritten_.begin();
        SqliteStatement update(connection_.Handle(),
                               QStringLiteral("UPDATE main.%1 SET %2 = ?2 WHERE rowid = ?1")
                                   .arg(QuoteIdentifier(table_), QuoteIdentifier(batch->first)),
                               databaseName_);
        for (const auto& row : batch->second.rows) {
            update.Reset();
            update.BindInt64(1, static_cast<int64_t>(row[0].Number()));
            const Variant& value = row[1];
            // Values go in as the text column keeps them.
            if (value.IsNull())
                update.BindNull(2);
            else
                update.BindText(2, value.ToText());
            update.Step();
        }
        unwritten_.erase(batch);
    }
}

void Recordset::Close() {
    WriteUpdatedRows();
    values_.clear();
    rows_.clear();
    position_ = 0;
}
