#include "TemporaryDatabase.h"

#include "SqliteStatement.h"

#include <sqlite3.h>

TemporaryDatabase::TemporaryDatabase() {
    // An empty name: a database of its own in a temporary file.
    const int rc = sqlite3_open_v2("", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString();
        sqlite3_close(db_);
        db_ = nullptr;
        ThrowSqliteError(rc, message, kName);
    }
    try {
        Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA cache_size = -2048");
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

TemporaryDatabase::~TemporaryDatabase() { sqlite3_close(db_); }

void TemporaryDatabase::Exec(const char* sql) {
    Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

void TemporaryDatabase::Check(int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) ThrowSqliteError(db_, rc, kName);
}
