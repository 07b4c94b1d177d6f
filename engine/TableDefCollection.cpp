#include "TableDefCollection.h"

#include "RuntimeError.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

#include <sqlite3.h>

namespace {

QString Key(const QString& name) { return name.toCaseFolded(); }

}  // namespace

TableDefCollection::TableDefCollection(const std::unique_ptr<SqliteConnection>& connection,
                                       QString name)
    : connection_(connection), name_(std::move(name)) {}

TableDefCollection::~TableDefCollection() = default;

const QString& TableDefCollection::CatalogTable() {
    static const QString name = QStringLiteral("MSysLinks");
    return name;
}

SqliteConnection& TableDefCollection::Connection() const {
    if (!connection_) throw RuntimeError::DatabaseClosed(name_);
    return *connection_;
}

TableDef TableDefCollection::Handed(TableDef definition) {
    TableDef handed(definition.Name(), [this, definition]() -> QStringList {
        if (definition.IsLink()) return Linked(definition).Columns();
        return Connection().Columns(definition.Name());
    });
    handed.SetConnect(definition.Connect());
    handed.SetSourceTableName(definition.SourceTableName());
    return handed;
}

std::optional<TableDef> TableDefCollection::Find(const QString& name) {
    SqliteConnection& c = Connection();
    if (auto attached = attached_.find(Key(name)); attached != attached_.end())
        return Handed(attached->second);
    if (c.FindTable(CatalogTable())) {
        SqliteStatement find(
            c.Handle(),
            QStringLiteral(
                "SELECT Name, Connect, SourceTableName FROM %1 WHERE Name = ?1 COLLATE NOCASE")
                .arg(QuoteIdentifier(CatalogTable())),
            name_);
        find.BindText(1, name);
        if (find.Step()) {
            TableDef link(find.ColumnText(0));
            link.SetConnect(find.ColumnText(1));
            link.SetSourceTableName(find.ColumnText(2));
            return Handed(std::move(link));
        }
    }
    auto stored = c.FindTable(name);
    if (!stored || stored->compare(CatalogTable(), Qt::CaseInsensitive) == 0) return std::nullopt;
    return Handed(TableDef(*stored));
}

TableDef TableDefCollection::Item(const QString& name) {
    auto found = Find(name);
    if (!found) throw RuntimeError::ItemNotFound(name, name_);
    return *std::move(found);
}

const LinkedSource::LinkedTable& TableDefCollection::Linked(const TableDef& link) {
    const QString key = Key(link.Name());
    auto found = links_.find(key);
    if (found == links_.end())
        found = links_
                    .emplace(key, LinkedSource::Open(link.Connect(), link.SourceTableName(),
                                                     Connection().LockTimeout()))
                    .first;
    return found->second;
}

void TableDefCollection::Delete(const QString& name) {
    TableDef definition = Item(name);
    SqliteConnection& c = Connection();
    if (attached_.erase(Key(definition.Name())) > 0) {
        // A link of this connection only: nothing in the database to remove.
    } else if (definition.IsLink()) {
        SqliteStatement remove(c.Handle(),
                               QStringLiteral("DELETE FROM %1 WHERE Name = ?1 COLLATE NOCASE")
                                   .arg(QuoteIdentifier(CatalogTable())),
                               name_);
        remove.BindText(1, definition.Name());
        remove.Step();
        // The catalog goes with its last link, so the project keeps only its own tables.
        bool empty = false;
        {
            SqliteStatement left(
                c.Handle(),
                QStringLiteral("SELECT count(*) FROM %1").arg(QuoteIdentifier(CatalogTable())),
                name_);
            empty = left.Step() && left.ColumnInt64(0) == 0;
        }
        if (empty) c.Exec(QStringLiteral("DROP TABLE %1").arg(QuoteIdentifier(CatalogTable())));
    } else {
        c.Exec(QStringLiteral("DROP TABLE %1").arg(QuoteIdentifier(definition.Name())));
    }
    links_.erase(Key(definition.Name()));
}

void TableDefCollection::Append(const TableDef& definition) {
    if (!definition.IsLink()) throw RuntimeError::NoLink(definition.Name());
    if (Contains(definition.Name())) throw RuntimeError::ObjectExists(definition.Name());
    // Reading the source proves the link before anything is written; it stays open
    // for the statements that use the link on this connection.
    const QString key = Key(definition.Name());
    links_.erase(key);
    Linked(definition);

    SqliteConnection& c = Connection();
    c.Exec(QStringLiteral("SAVEPOINT append_link"));
    try {
        c.Exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1(Name TEXT PRIMARY KEY COLLATE NOCASE, "
                              "Connect TEXT NOT NULL, SourceTableName TEXT NOT NULL)")
                   .arg(QuoteIdentifier(CatalogTable())));
        SqliteStatement insert(
            c.Handle(),
            QStringLiteral("INSERT INTO %1(Name, Connect, SourceTableName) VALUES (?1, ?2, ?3)")
                .arg(QuoteIdentifier(CatalogTable())),
            name_);
        insert.BindText(1, definition.Name());
        insert.BindText(2, definition.Connect());
        insert.BindText(3, definition.SourceTableName());
        insert.Step();
        c.Exec(QStringLiteral("RELEASE append_link"));
    } catch (...) {
        links_.erase(key);
        sqlite3_exec(c.Handle(), "ROLLBACK TO append_link; RELEASE append_link", nullptr, nullptr,
                     nullptr);
        throw;
    }
}

void TableDefCollection::Attach(const TableDef& definition) {
    if (!definition.IsLink()) throw RuntimeError::NoLink(definition.Name());
    const QString key = Key(definition.Name());
    if (attached_.count(key)) throw RuntimeError::ObjectExists(definition.Name());
    links_.erase(key);
    Linked(definition);
    attached_.emplace(key, definition);
}
