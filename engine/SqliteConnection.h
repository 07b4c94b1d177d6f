#pragma once

#include "LinkedRowsModule.h"
#include "SourceTable.h"

#include <QString>

#include <memory>
#include <optional>

struct sqlite3;

// A connection to an existing SQLite database file. It never creates a file and
// waits up to the lock timeout for another process's lock before failing.
class SqliteConnection {
  public:
    enum class Mode { ReadOnly, ReadWrite };

    // Fails with RuntimeError: 3024 when the file is missing, 3343 when it is not a
    // database, 3051 when it cannot be opened (for ReadWrite also when it is read-only),
    // 3218 when another process keeps it locked; every description names the file.
    SqliteConnection(const QString& path, Mode mode, int lockTimeoutMs);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    sqlite3* Handle() const { return db_; }
    const QString& Path() const { return path_; }
    int LockTimeout() const { return lockTimeoutMs_; }

    // Runs statements without results.
    void Exec(const QString& sql);

    // The stored name of a table or view, found without regard to case.
    std::optional<QString> FindTable(const QString& name) const;
    // The table's columns in table order.
    QStringList Columns(const QString& table) const;

    // What the connection's table linked_rows shows (see LinkedRowsModule).
    LinkedRowsModule::Slot& LinkedRows() const { return *linkedRows_; }

  private:
    sqlite3* db_ = nullptr;
    QString path_;
    int lockTimeoutMs_;
    std::unique_ptr<LinkedRowsModule::Slot> linkedRows_;
};
