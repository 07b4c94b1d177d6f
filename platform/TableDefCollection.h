#pragma once

#include "TableDef.h"

#include <QString>

#include <vector>

class Database;

// The table definitions of a database: its tables and its linked tables. Links are
// kept in the database (table MSysLinks), so a link outlives the connection that
// made it until it is deleted. Names compare without regard to case.
class TableDefCollection {
  public:
    explicit TableDefCollection(Database& database) : database_(database) {}

    // The definition of that name; fails with 3265 when there is none.
    TableDef Item(const QString& name) const;
    bool Contains(const QString& name) const;

    // Removes a link, or drops a table. Fails with 3265 when there is no such name.
    void Delete(const QString& name);

    // Adds a link to the database after reading its source: fails with 3264 when
    // the link is unset, 3012 when the name is taken, and with the engine's error
    // when the file is missing or unreadable or the table or sheet is not in it.
    void Append(const TableDef& definition);

    // The name of the table that keeps the links.
    static const QString& CatalogTable();

  private:
    Database& database_;
};
