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
        throw RuntimeError(ErrorNumber::NoCurrentRecord, QStringLiteral("Kein aktueller Datensatz in '%1'.").arg(table_));
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
        throw RuntimeError(ErrorNumber::NoCurrentRecord, QStringLiteral("Kein aktueller Datensatz in '%1'.").arg(table_));
}

const QString& Recordset::Column(const QString& name) {
    for (const QString& column : columns_)
        if (column.compare(name, Qt::CaseInsensitive) == 0) return column;
    throw RuntimeError(ErrorNumber::ItemNotFound,
                       QStringLiteral("Das Feld '%1' ist in der Tabelle '%2' nicht vorhanden.").arg(name, table_));
}

Variant Recordset::Value(const QString& name) {
    RequireCurrent();
    const QString& column = Column(name);
    auto& reader = readers_[column];
    if (!reader)
        reader = std::make_unique<SqliteStatement>(
            database_.Connection().Handle(),
            QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?1").arg(QuoteIdentifier(column), QuoteIdentifier(table_)),
            database_.Name());
    reader->BindInt64(1, rows_[position_]);
    Variant value = reader->Step() ? reader->Column(0) : Variant();
    reader->Reset();
    return value;
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
                QStringLiteral("UPDATE %1 SET %2 = ?1 WHERE rowid = ?2").arg(QuoteIdentifier(table_), QuoteIdentifier(column)),
                database_.Name());
        writer->Bind(1, value);
        writer->BindInt64(2, rows_[position_]);
        writer->Step();
        writer->Reset();
    }
    pending_.clear();
    editing_ = false;
}

void Recordset::Close() {
    readers_.clear();
    writers_.clear();
    rows_.clear();
    position_ = 0;
}
