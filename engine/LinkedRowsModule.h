#pragma once

#include "SourceRowFeed.h"
#include "SourceTable.h"
#include "UpdateTally.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>

struct sqlite3;
struct sqlite3_value;

// Shows the rows of a linked table to SQLite as the table "linked_rows(k, v)" of a
// connection: k is the Val() of the key column, v the value column as text (numbers
// in their shortest form), with the keys in ascending order. Rows whose key is
// Null are left out. The table shows what a Scope has put into the connection's
// slot while the scope lives: the rows of a source table as its reader gave
// them (SourceRows: in memory and a temporary file), or a table of another
// database file, read row by row as the statement runs. A statement reads it
// once, as its outer loop.
//
// The function import_changes(row, old, k, v[, also]) works out the text target row
// "row" gets from the current source row, counts it into the scope's tally, tells
// the scope's change sink when the stored value changes and then gives 1, else
// 0; import_text() gives that text. An empty value (Null or "") over an empty
// text is no change. The rows the statement reads without calling it for them
// are counted as matching nothing. SQLite's UPDATE ... FROM applies the joined
// rows in the order of its outer loop, so of several source rows with the same
// key the last one's value stays; the tally counts that one only and lists the
// others as duplicates.
namespace LinkedRowsModule {

// Turns a non-empty source text (UTF-8) into the text the target gets, in place;
// key is the row's Val(), row its place in the source (from 1). It is called on
// the thread that reads the source, ahead of the statement, for every row with a
// key and a text, also those the statement then matches with no target row: what
// it notes of a row is for the caller to drop when the tally lists the row as
// unmatched. Nothing else runs it meanwhile.
using ValueConversion = SourceRowFeed::Conversion;

struct KeyCounts;

// Is told of every target value the statement changes, as it computes it: the
// target's row id, the key it matched, its old value and the new text (null for
// Null). A row that several source rows name is told of once per source row, in
// their order.
class ChangeSink {
  public:
    virtual ~ChangeSink() = default;
    virtual void Changed(int64_t row, double key, sqlite3_value* old, const QByteArray* now) = 0;
    // The statement is run again from its start: forget what it was told.
    virtual void Restart() = 0;
};

// Told every few thousand source rows how many rows have been read of how many
// there are; returning false cancels the statement.
using Progress = std::function<bool(int64_t done, int64_t total)>;

// Told of every source row the statement matches with a target row, before its
// text is converted: the key, the row's place in the source, the target row's
// value of Hooks::alsoRead (its reference), and the source's text as UTF-8 (null
// for Null).
using Inspection = std::function<void(double key, int64_t row, sqlite3_value* alsoRead,
                                      const char* text, int size)>;

// What a statement over the table does beside reading it.
struct Hooks {
    ValueConversion convert;
    ChangeSink* changes = nullptr;
    Progress progress;
    std::function<void()> restarted;  // the statement is run again from its start
    QString alsoRead;                 // a column of the target row handed to inspect
    Inspection inspect;
};

struct Slot {
    const SourceTable* table = nullptr;
    SheetStream* sheet = nullptr;  // with key and value its columns in the sheet
    size_t key = 0;
    size_t value = 0;
    sqlite3* database = nullptr;  // with select: reads "SELECT key, value FROM table"
    QByteArray select;
    QByteArray orderedSelect;        // the same ordered by key: key, value, place, sort key
    QByteArray selectWithoutRowIds;  // the two for a table without row ids
    QByteArray orderedSelectWithoutRowIds;
    bool ordered = false;  // read the rows ordered by key (see outOfOrder)

    UpdateTally* tally = nullptr;
    const ValueConversion* convert = nullptr;
    const Inspection* inspect = nullptr;
    ChangeSink* changes = nullptr;
    const Progress* progress = nullptr;
    int64_t total = 0;            // the rows to read, for the progress
    bool cancelled = false;       // the progress asked to stop
    bool outOfOrder = false;      // read in the source's order, a key came after a greater one
    bool scanned = false;         // the statement has begun reading the table
    bool rowMatched = false;      // import_changes was called for the current row
    int64_t row = 0;              // the current row's place in the source
    KeyCounts* counts = nullptr;  // what the current row's key has counted so far
    std::exception_ptr failure;   // what the conversion threw
    const SourceRowFeed::Row* shown = nullptr;  // the current row
    QByteArray text;         // the current row's new text; its memory serves every row
    bool newIsNull = false;  // the current row's new value is Null
};

// Registers the table and the functions on the connection; the slot must outlive it.
void Register(sqlite3* db, Slot* slot);

class Scope {
  public:
    Scope(Slot& slot, const SourceTable& table, int keyColumn, int valueColumn, UpdateTally& tally,
          const Hooks& hooks);
    // The rows of a sheet as its reader streams them; key and value are columns
    // of the sheet.
    Scope(Slot& slot, SheetStream& sheet, int keyColumn, int valueColumn, UpdateTally& tally,
          const Hooks& hooks);
    // total: the table's rows, for the progress.
    Scope(Slot& slot, sqlite3* database, const QString& table, const QString& keyColumn,
          const QString& valueColumn, int64_t total, UpdateTally& tally, const Hooks& hooks);
    ~Scope() { slot_ = Slot{}; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

  private:
    Slot& slot_;
};

}  // namespace LinkedRowsModule
