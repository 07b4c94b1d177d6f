#include "DBEngine.h"

#include "Database.h"
#include "SqliteConnection.h"

DBEngine& DBEngine::Instance() {
    static DBEngine engine;
    return engine;
}

std::unique_ptr<Database> DBEngine::OpenDatabase(const QString& path, bool readOnly) {
    const auto mode =
        readOnly ? SqliteConnection::Mode::ReadOnly : SqliteConnection::Mode::ReadWrite;
    return std::make_unique<Database>(
        std::make_unique<SqliteConnection>(path, mode, lockTimeoutMs_));
}
