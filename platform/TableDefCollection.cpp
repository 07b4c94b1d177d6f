#include "TableDefCollection.h"

#include "Database.h"
#include "LinkedSource.h"
#include "RuntimeError.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

#include <sqlite3.h>

namespace {

[[noreturn]] void ThrowNotInCollection(const QString& name, const QString& database) {
    throw RuntimeError(ErrorNumber::ItemNotFound,
                       QStringLiteral("Das Element '%1' ist in dieser Auflistung nicht vorhanden "
                                      "(Tabellen der Datenbank '%2').")
                           .arg(name, database));
}

}  // namespace

const QString& TableDefCollection::CatalogTable() {
    static const QString name = QStringLiteral("MSysLinks");
    return name;
}

TableDef TableDefCollection::Item(const QString& name) const {
    SqliteConnection& c = database_.Connection();
    if (c.FindTable(CatalogTable())) {
        SqliteStatement find(
            c.Handle(),
            QStringLiteral(
                "SELECT Name, Connect, SourceTableName FROM %1 WHERE Name = ?1 COLLATE NOCASE")
                .arg(QuoteIdentifier(CatalogTable())),
            database_.Name());
        find.BindText(1, name);
        if (find.Step()) {
            TableDef link(find.ColumnText(0));
            link.SetConnect(find.ColumnText(1));
            link.SetSourceTableName(find.ColumnText(2));
            link.database_ = &database_;
            return link;
        }
    }
    auto stored = c.FindTable(name);
    if (!stored || stored->compare(CatalogTable(), Qt::CaseInsensitive) == 0)
        ThrowNotInCollection(name, database_.Name());
    TableDef table(*stored);
    table.database_ = &database_;
    return table;
}

bool TableDefCollection::Contains(const QString& name) const {
    try {
        Item(name);
        return true;
    } catch (const RuntimeError& error) {
        if (error.Number() == ErrorNumber::ItemNotFound) return false;
        throw;
    }
}

void TableDefCollection::Delete(const QString& name) {
    TableDef definition = Item(name);
    SqliteConnection& c = database_.Connection();
    if (definition.IsLink()) {
        SqliteStatement remove(c.Handle(),
                               QStringLiteral("DELETE FROM %1 WHERE Name = ?1 COLLATE NOCASE")
                                   .arg(QuoteIdentifier(CatalogTable())),
                               database_.Name());
        remove.BindText(1, definition.Name());
        remove.Step();
        // The catalog goes with its last link, so the project keeps only its own tables.
        bool empty = false;
        {
            SqliteStatement left(
                c.Handle(),
                QStringLiteral("SELECT count(*) FROM %1").arg(QuoteIdentifier(CatalogTable())),
                database_.Name());
            empty = left.Step() && left.ColumnInt64(0) == 0;
        }
        if (empty) c.Exec(QStringLiteral("DROP TABLE %1").arg(QuoteIdentifier(CatalogTable())));
    } else {
        c.Exec(QStringLiteral("DROP TABLE %1").arg(QuoteIdentifier(definition.Name())));
    }
    database_.ForgetLink(definition.Name());
}

void TableDefCollection::Append(const TableDef& definition) {
    if (!definition.IsLink())
        throw RuntimeError(
            ErrorNumber::NoLink,
            QStringLiteral("Für die Tabelle '%1' ist keine Verknüpfung und kein Feld festgelegt; "
                           "sie kann nicht angefügt werden.")
                .arg(definition.Name()));
    if (Contains(definition.Name()))
        throw RuntimeError(
            ErrorNumber::ObjectExists,
            QStringLiteral("Das Objekt '%1' existiert bereits.").arg(definition.Name()));
    // Reading the source proves the link before anything is written; the rows are
    // kept for the statements that use the link on this connection.
    database_.ForgetLink(definition.Name());
    TableDef appended = definition;
    appended.database_ = &database_;
    database_.Linked(appended);

    SqliteConnection& c = database_.Connection();
    c.Exec(QStringLiteral("SAVEPOINT append_link"));
    try {
        c.Exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1(Name TEXT PRIMARY KEY COLLATE NOCASE, "
                              "Connect TEXT NOT NULL, SourceTableName TEXT NOT NULL)")
                   .arg(QuoteIdentifier(CatalogTable())));
        SqliteStatement insert(
            c.Handle(),
            QStringLiteral("INSERT INTO %1(Name, Connect, SourceTableName) VALUES (?1, ?2, ?3)")
                .arg(QuoteIdentifier(CatalogTable())),
            database_.Name());
        insert.BindText(1, definition.Name());
        insert.BindText(2, definition.Connect());
        insert.BindText(3, definition.SourceTableName());
        insert.Step();
        c.Exec(QStringLiteral("RELEASE append_link"));
    } catch (...) {
        database_.ForgetLink(definition.Name());
        sqlite3_exec(c.Handle(), "ROLLBACK TO append_link; RELEASE append_link", nullptr, nullptr,
                     nullptr);
        throw;
    }
}
