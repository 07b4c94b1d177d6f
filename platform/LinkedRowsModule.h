#pragma once

#include "SourceTable.h"
#include "UpdateTally.h"

#include <QByteArray>

#include <cstddef>
#include <exception>
#include <functional>

struct sqlite3;

// Shows the rows of a linked table to SQLite as the table "linked_rows(k, v)" of a
// connection: k is the Val() of the key column, v the value column as text (numbers
// in their shortest form). Rows whose key is Null are left out, and of several rows
// with the same key only the last one in the source's order is shown. The table
// shows what a Scope has put into the connection's slot while the scope lives:
// rows held in memory, or a table of another database file, read row by row as
// the statement runs. A statement reads it once, as its outer loop.
//
// The function import_value(old, k, v) gives the text a target row gets from the
// current source row and counts it into the scope's tally; the rows the statement
// reads without calling it for them are counted as matching nothing.
namespace LinkedRowsModule {

// Turns a non-empty source text into the text the target gets; key is the row's Val().
using ValueConversion = std::function<QString(double key, const QString& text)>;

struct Slot {
    const SourceTable* table = nullptr;
    size_t key = 0;
    size_t value = 0;
    sqlite3* database = nullptr;  // with select: reads the other file's table, last row first
    QByteArray select;
    QByteArray unorderedSelect;  // for a table without row ids: numbered as read, then reversed

    UpdateTally* tally = nullptr;
    const ValueConversion* convert = nullptr;
    bool scanned = false;        // the statement has begun reading the table
    bool rowMatched = false;     // import_value was called for the current row
    std::exception_ptr failure;  // what the conversion threw
};

// Registers the table and import_value on the connection; the slot must outlive it.
void Register(sqlite3* db, Slot* slot);

class Scope {
  public:
    Scope(Slot& slot, const SourceTable& table, int keyColumn, int valueColumn, UpdateTally& tally,
          const ValueConversion& convert);
    Scope(Slot& slot, sqlite3* database, const QString& table, const QString& keyColumn,
          const QString& valueColumn, UpdateTally& tally, const ValueConversion& convert);
    ~Scope() { slot_ = Slot{}; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

  private:
    Slot& slot_;
};

}  // namespace LinkedRowsModule
