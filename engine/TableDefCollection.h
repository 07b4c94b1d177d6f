#pragma once

#include "LinkedSource.h"
#include "TableDef.h"

#include <QString>

#include <map>
#include <memory>
#include <optional>

class SqliteConnection;

// The table definitions of a database: its tables and its linked tables. Links are
// kept in the database (table MSysLinks), so a link outlives the connection that
// made it until it is deleted; the sources of the links in use are kept open here
// for the connection's statements. Names compare without regard to case. The
// definitions it hands out read their columns through it, so they are good only
// while their database lives.
class TableDefCollection {
  public:
    // connection is the database's, which may be closed (null) later: every call
    // then fails with 91. name stands for the database in messages.
    TableDefCollection(const std::unique_ptr<SqliteConnection>& connection, QString name);
    ~TableDefCollection();

    // The definition of that name, or nothing.
    std::optional<TableDef> Find(const QString& name);
    // The definition of that name; fails with 3265 when there is none.
    TableDef Item(const QString& name);
    bool Contains(const QString& name) { return Find(name).has_value(); }

    // Removes a link, or drops a table. Fails with 3265 when there is no such name.
    void Delete(const QString& name);

    // Adds a link to the database after reading its source: fails with 3264 when
    // the link is unset, 3012 when the name is taken, and with the engine's error
    // when the file is missing or unreadable or the table or sheet is not in it.
    void Append(const TableDef& definition);

    // Adds a link for this connection only, after reading its source as Append
    // does: nothing is written to the database, so a database opened only for
    // reading can use it, and it is gone when the connection closes. It stands
    // before a link or table of the same name in the database.
    void Attach(const TableDef& definition);

    // The open source of a link of this collection, opened on first use.
    const LinkedSource::LinkedTable& Linked(const TableDef& link);
    // Lets go of every open source (the database is closing).
    void ReleaseLinks() {
        links_.clear();
        attached_.clear();
    }

    // The name of the table that keeps the links.
    static const QString& CatalogTable();

  private:
    SqliteConnection& Connection() const;
    TableDef Handed(TableDef definition);

    const std::unique_ptr<SqliteConnection>& connection_;
    QString name_;
    std::map<QString, LinkedSource::LinkedTable> links_;
    std::map<QString, TableDef> attached_;  // links of this connection only
};
