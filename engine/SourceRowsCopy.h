#pragma once

#include "SourceTable.h"
#include "TemporaryDatabase.h"

#include <QString>

#include <cstddef>

// The key and value columns of a source table copied into a TemporaryDatabase,
// so that SQLite's sorter reads them ordered by key, spilling to disk as it needs: a source out of
// key order costs time, not memory. The table "rows" holds a row's key as k and its value as v,
// with the row's place in the source (from 1) as row id. Values keep their kind as the engine reads
// them: numbers as reals, texts as texts, booleans as their number (key) or
// text (value), Null as Null.
class SourceRowsCopy {
  public:
    static inline const QString kTable = QStringLiteral("rows");
    static inline const QString kKey = QStringLiteral("k");
    static inline const QString kValue = QStringLiteral("v");

    // Fails with a RuntimeError when the temporary database cannot be made or written.
    SourceRowsCopy(const SourceTable& table, size_t keyColumn, size_t valueColumn);

    sqlite3* Handle() const { return db_.Handle(); }

  private:
    TemporaryDatabase db_;
};
