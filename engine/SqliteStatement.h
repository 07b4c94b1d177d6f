#pragma once

#include "Variant.h"

#include <QString>

#include <cstdint>

struct sqlite3;
struct sqlite3_stmt;

// Turns a SQLite result code into the engine's RuntimeError: the Jet number where
// one fits (busy -> 3218, full -> 3026, read-only -> 3027, not a database -> 3343,
// corrupt -> 3049), else 3000 with SQLite's own text. The description names the file.
[[noreturn]] void ThrowSqliteError(sqlite3* db, int code, const QString& fileName);
// The same with SQLite's message taken before (detail).
[[noreturn]] void ThrowSqliteError(int code, const QString& detail, const QString& fileName);

// An identifier quoted for SQLite: "name", inner quotes doubled.
QString QuoteIdentifier(const QString& name);

// A prepared statement that finalizes itself. Every failure is a RuntimeError.
class SqliteStatement {
  public:
    SqliteStatement(sqlite3* db, const QString& sql, const QString& fileName);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Runs to the next row: true while there is one, false when done.
    bool Step();
    void Reset();

    void BindText(int index, const QString& text);
    void BindInt64(int index, int64_t value);
    void BindDouble(int index, double value);
    void BindNull(int index);

    Variant Column(int index) const;
    int64_t ColumnInt64(int index) const;
    QString ColumnText(int index) const;

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    QString fileName_;
};
