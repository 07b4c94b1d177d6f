#include "SqliteConnection.h"

#include "LinkedRowsModule.h"
#include "RuntimeError.h"
#include "SqliteStatement.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

// SQLite counts every allocation under one lock of the whole process unless
// told not to before its first use; the import's threads (the update, the
// reading of the source, the undo store's writer) would wait on each other
// there. Nothing here asks SQLite for its memory figures.
const int kNoMemoryStatus = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);

}  // namespace

SqliteConnection::SqliteConnection(const QString& path, Mode mode, int lockTimeoutMs)
    : path_(path),
      lockTimeoutMs_(lockTimeoutMs),
      linkedRows_(std::make_unique<LinkedRowsModule::Slot>()) {
    QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) throw RuntimeError::FileNotFound(path);
    if (!info.isFile()) throw RuntimeError::NotAFile(path);
    // SQLite takes an empty file for an empty database; an empty file is no database.
    if (info.size() == 0) throw RuntimeError::UnrecognizedDatabase(path);

    int flags = (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        // Keep the handle for the message, then release it.
        try {
            ThrowSqliteError(db_, rc, path);
        } catch (...) {
            sqlite3_close(db_);
            db_ = nullptr;
            throw;
        }
    }
    sqlite3_busy_timeout(db_, lockTimeoutMs);
    try {
        if (mode == Mode::ReadWrite && sqlite3_db_readonly(db_, "main") == 1)
            throw RuntimeError::NotWritable(path);
        // Reading the schema proves that the file is a database and not locked for good.
        {
            SqliteStatement probe(db_, QStringLiteral("SELECT count(*) FROM sqlite_master"), path_);
            probe.Step();
        }
        // A bounded cache, and temporary tables (the rows an update has joined) in
        // files of their own: an import of any size needs about the same memory.
        Exec(QStringLiteral("PRAGMA temp_store = FILE; PRAGMA cache_size = -8192"));
        LinkedRowsModule::Register(db_, linkedRows_.get());
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

SqliteConnection::~SqliteConnection() {
    if (db_) sqlite3_close(db_);
}

void SqliteConnection::Exec(const QString& sql) {
    char* message = nullptr;
    int rc = sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK) ThrowSqliteError(db_, rc, path_);
}

std::optional<QString> SqliteConnection::FindTable(const QString& name) const {
    SqliteStatement find(
        db_,
        QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table','view') "
                       "AND name = ?1 COLLATE NOCASE"),
        path_);
    find.BindText(1, name);
    if (!find.Step()) return std::nullopt;
    return find.ColumnText(0);
}

QStringList SqliteConnection::Columns(const QString& table) const {
    SqliteStatement info(db_, QStringLiteral("SELECT name FROM pragma_table_info(?1)"), path_);
    info.BindText(1, table);
    QStringList columns;
    while (info.Step()) columns.append(info.ColumnText(0));
    return columns;
}
