#pragma once

#include <QString>
#include <memory>

class Database;

// The database engine: one per process, created on first use. Project files and
// database sources are SQLite files; workbooks are read through linked tables.
class DBEngine {
  public:
    static DBEngine& Instance();

    // Opens an existing project database for reading and writing (shared: other
    // processes may hold it open). Never creates a file. Fails with RuntimeError:
    // 3024 missing, 3343 not a database, 3051 not writable, 3218 locked by another
    // process beyond the lock timeout.
    // With readOnly, nothing can be written through it, and a file the user may
    // only read opens too.
    std::unique_ptr<Database> OpenDatabase(const QString& path, bool readOnly = false);

    // How long an operation waits for another process's lock, in milliseconds.
    int LockTimeout() const { return lockTimeoutMs_; }
    void SetLockTimeout(int milliseconds) { lockTimeoutMs_ = milliseconds; }

  private:
    DBEngine() = default;
    int lockTimeoutMs_ = 5000;
};
