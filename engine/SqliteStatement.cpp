#include "SqliteStatement.h"

#include "RuntimeError.h"

#include <sqlite3.h>

void ThrowSqliteError(sqlite3* db, int code, const QString& fileName) {
    ThrowSqliteError(
        code, db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code)),
        fileName);
}

void ThrowSqliteError(int code, const QString& detail, const QString& fileName) {
    switch (code & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            throw RuntimeError::Locked(fileName);
        case SQLITE_FULL:
            throw RuntimeError::DiskFull(fileName);
        case SQLITE_READONLY:
            if (code == SQLITE_READONLY_DIRECTORY) throw RuntimeError::NoJournalInFolder(fileName);
            throw RuntimeError::ReadOnlyFile(fileName);
        case SQLITE_PERM:
        case SQLITE_CANTOPEN:
            throw RuntimeError::CannotOpen(fileName, detail);
        case SQLITE_NOTADB:
            throw RuntimeError::UnrecognizedDatabase(fileName);
        case SQLITE_CORRUPT:
            throw RuntimeError::DatabaseCorrupt(fileName, detail);
        default:
            throw RuntimeError::DatabaseError(fileName, detail);
    }
}

QString QuoteIdentifier(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

SqliteStatement::SqliteStatement(sqlite3* db, const QString& sql, const QString& fileName)
    : db_(db), fileName_(fileName) {
    const QByteArray text = sql.toUtf8();
    int rc =
        sqlite3_prepare_v2(db_, text.constData(), static_cast<int>(text.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) ThrowSqliteError(db_, rc, fileName_);
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(stmt_); }

bool SqliteStatement::Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    ThrowSqliteError(db_, rc, fileName_);
}

void SqliteStatement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

// Texts cross in UTF-8, the encoding of the database files, so SQLite converts nothing.
void SqliteStatement::BindText(int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt_, index, utf8.constData(), static_cast<int>(utf8.size()),
                      SQLITE_TRANSIENT);
}

void SqliteStatement::BindInt64(int index, int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
}
void SqliteStatement::BindDouble(int index, double value) {
    sqlite3_bind_double(stmt_, index, value);
}
void SqliteStatement::BindNull(int index) { sqlite3_bind_null(stmt_, index); }

Variant SqliteStatement::Column(int index) const {
    switch (sqlite3_column_type(stmt_, index)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            return static_cast<double>(sqlite3_column_int64(stmt_, index));
        case SQLITE_FLOAT:
            return sqlite3_column_double(stmt_, index);
        default:
            return ColumnText(index);
    }
}

int64_t SqliteStatement::ColumnInt64(int index) const { return sqlite3_column_int64(stmt_, index); }

QString SqliteStatement::ColumnText(int index) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index));
    int bytes = sqlite3_column_bytes(stmt_, index);
    if (!text) return {};
    return QString::fromUtf8(text, bytes);
}
