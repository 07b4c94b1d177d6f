#pragma once

#include <QString>

struct sqlite3;

// A private SQLite database in a temporary file of its own, gone when closed:
// where the engine sorts what need not fit in memory (a source out of key order,
// a long list of rows). Without a journal or syncs, its pages cached up to 2 MB.
class TemporaryDatabase {
  public:
    // How messages name it.
    static inline const QString kName = QStringLiteral("(temporäre Datenbank)");

    // Fails with a RuntimeError when it cannot be made.
    TemporaryDatabase();
    ~TemporaryDatabase();
    TemporaryDatabase(const TemporaryDatabase&) = delete;
    TemporaryDatabase& operator=(const TemporaryDatabase&) = delete;

    sqlite3* Handle() const { return db_; }
    // Runs statements without results; fails with a RuntimeError.
    void Exec(const char* sql);
    // Fails with a RuntimeError unless rc says success (OK, a row, done).
    void Check(int rc);

  private:
    sqlite3* db_ = nullptr;
};
