#pragma once

#include "SourceTable.h"

#include <QByteArray>

#include <cstddef>

struct sqlite3;

// Shows the rows of a linked table to SQLite as the table "linked_rows(k, v)" of a
// connection: k is the Val() of the key column, v the value column as text (numbers
// in their shortest form). Rows whose key is Null are left out. The table shows
// what a Scope has put into the connection's slot while the scope lives: rows held
// in memory, or a table of another database file, read row by row as the
// statement runs.
namespace LinkedRowsModule {

struct Slot {
    const SourceTable* table = nullptr;
    size_t key = 0;
    size_t value = 0;
    sqlite3* database = nullptr;  // with select: reads "SELECT key, value FROM table"
    QByteArray select;
};

// Registers the table on the connection; the slot must outlive the connection.
void Register(sqlite3* db, Slot* slot);

class Scope {
  public:
    Scope(Slot& slot, const SourceTable& table, int keyColumn, int valueColumn);
    Scope(Slot& slot, sqlite3* database, const QString& table, const QString& keyColumn,
          const QString& valueColumn);
    ~Scope() { slot_ = Slot{}; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

  private:
    Slot& slot_;
};

}  // namespace LinkedRowsModule
