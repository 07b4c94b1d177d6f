#include "Recordset.h"

#include "Database.h"
#include "RuntimeError.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

Recordset::Recordset(Database& database, const QString& table, std::vector<int64_t> rows)
    : database_(database), table_(table), rows_(std::move(rows)) {
    for (const QString& column : database_.Connection().Columns(table_)) columns_.push_back(column);
}

Recordset::~Recordset() = default;

void Recordset::MoveFirst() {
    if (rows_.empty())
        throw RuntimeError(ErrorNumber::NoCurrentRecord,
                           QStringLiteral("Kein aktueller Datensatz in '%1'.").arg(table_));
    position_ = 0;
    editing_ = false;
}

void Recordset::MoveNext() {
    RequireCurrent();
    ++position_;
    editing_ = false;
}

void Recordset::RequireCurrent() const {
    if (Eof())
        throw RuntimeError(ErrorNumber::NoCurrentRecord,
                           QStringLiteral("Kein aktueller Datensatz in '%1'.").arg(table_));
}

const QString& Recordset::Column(const QString& name) {
    for (const QString& column : columns_)
        if (column == name) return column;
    for (const QString& column : columns_)
        if (column.compare(name, Qt::CaseInsensitive) == 0) return column;
    throw RuntimeError(
        ErrorNumber::ItemNotFound,
        QStringLiteral("Das Feld '%1' ist in der Tabelle '%2' nicht vorhanden.").arg(name, table_));
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
    // One pass over the table instead of one query per row.
    std::unordered_map<int64_t, size_t> positions;
    positions.reserve(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i) positions.emplace(rows_[i], i);
    std::vector<Variant> values(rows_.size());
    SqliteStatement select(database_.Connection().Handle(),
                           QStringLiteral("SELECT rowid, %1 FROM %2")
                               .arg(QuoteIdentifier(column), QuoteIdentifier(table_)),
                           database_.Name());
    while (select.Step()) {
        auto at = positions.find(select.ColumnInt64(0));
        if (at != positions.end()) values[at->second] = select.Column(1);
    }
    values_[column] = std::move(values);
}

void Recordset::Edit() {
    RequireCurrent();
    pending_.clear();
    editing_ = true;
}

void Recordset::SetValue(const QString& name, const Variant& value) {
    if (!editing_)
        throw RuntimeError(ErrorNumber::InvalidArgument,
                           QStringLiteral("Aktualisieren ohne Edit in '%1'.").arg(table_));
    pending_[Column(name)] = value;
}

void Recordset::Update() {
    if (!editing_)
        throw RuntimeError(ErrorNumber::InvalidArgument,
                           QStringLiteral("Aktualisieren ohne Edit in '%1'.").arg(table_));
    for (const auto& [column, value] : pending_) {
        auto& writer = writers_[column];
        if (!writer)
            writer = std::make_unique<SqliteStatement>(
                database_.Connection().Handle(),
                QStringLiteral("UPDATE %1 SET %2 = ?1 WHERE rowid = ?2")
                    .arg(QuoteIdentifier(table_), QuoteIdentifier(column)),
                database_.Name());
        writer->Bind(1, value);
        writer->BindInt64(2, rows_[position_]);
        writer->Step();
        writer->Reset();
        if (auto loaded = values_.find(column); loaded != values_.end())
            loaded->second[position_] = value;
    }
    pending_.clear();
    editing_ = false;
}

void Recordset::Close() {
    values_.clear();
    writers_.clear();
    rows_.clear();
    position_ = 0;
}
