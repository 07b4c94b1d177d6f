#include "DBEngine.h"

#include "Database.h"
#include "SqliteConnection.h"

DBEngine& DBEngine::Instance() {
    static DBEngine engine;
    return engine;
}

std::unique_ptr<Database> DBEngine::OpenDatabase(const QString& path) {
    return std::make_unique<Database>(std::make_unique<SqliteConnection>(
        path, SqliteConnection::Mode::ReadWrite, lockTimeoutMs_));
}
