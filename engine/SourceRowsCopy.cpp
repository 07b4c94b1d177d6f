#include "SourceRowsCopy.h"

#include "SqliteStatement.h"
#include "Utf8Writer.h"

#include <sqlite3.h>

namespace {

const QString kTemporary = QStringLiteral("(temporäre Datenbank)");

void Check(sqlite3* db, int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        ThrowSqliteError(db, rc, kTemporary);
}

// Binds a cell: as a key (its number unless a text or Null) or as a value (its text unless a
// number or Null).
void Bind(sqlite3_stmt* insert, int index, const Variant& cell, bool key, QByteArray& utf8) {
    if (cell.IsNull()) {
        sqlite3_bind_null(insert, index);
    } else if (cell.IsNumber() || (key && cell.IsBoolean())) {
        sqlite3_bind_double(insert, index, cell.ToNumber());
    } else {
        WriteUtf8(cell.ToText(), utf8);
        sqlite3_bind_text(insert, index, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
    }
}

}  // namespace

SourceRowsCopy::SourceRowsCopy(const SourceTable& table, size_t keyColumn, size_t valueColumn) {
    // An empty name: a database of its own in a temporary file, gone when closed.
    const int rc = sqlite3_open_v2("", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString();
        sqlite3_close(db_);
        db_ = nullptr;
        ThrowSqliteError(rc, message, kTemporary);
    }
    try {
        Fill(table, keyColumn, valueColumn);
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

SourceRowsCopy::~SourceRowsCopy() { sqlite3_close(db_); }

void SourceRowsCopy::Fill(const SourceTable& table, size_t keyColumn, size_t valueColumn) {
    Check(db_, sqlite3_exec(db_,
                            "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; "
                            "PRAGMA cache_size = -2048; CREATE TABLE rows(k, v); BEGIN",
                            nullptr, nullptr, nullptr));
    sqlite3_stmt* insert = nullptr;
    Check(db_, sqlite3_prepare_v2(db_, "INSERT INTO rows(rowid, k, v) VALUES (?, ?, ?)", -1,
                                  &insert, nullptr));
    QByteArray key, value;
    int rc = SQLITE_DONE;
    int64_t place = 0;
    for (SourceRows::Reader reader(table.rows); rc == SQLITE_DONE && reader.Next();) {
        sqlite3_bind_int64(insert, 1, ++place);
        Bind(insert, 2, reader.Cell(keyColumn), true, key);
        Bind(insert, 3, reader.Cell(valueColumn), false, value);
        rc = sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Check(db_, rc);
    Check(db_, sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr));
}
