#include "UndoStoreFile.h"

#include "FileName.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <array>
#include <optional>
#include <vector>

namespace {

// The format of a store, in its user_version; a file with another is not ours to
// write. 1 was the shared store.
constexpr int kStoreVersion = 2;
constexpr int kSharedVersion = 1;

void Run(sqlite3* db, const QString& sql, const QString& path) {
    SqliteStatement statement(db, sql, path);
    while (statement.Step()) {
    }
}

// The tables of a new store. An import's changes are the chunks from its first to
// its last; state tells an import or undo that finished from one that was
// interrupted between the commits of store and project (see UndoStore).
void CreateTables(sqlite3* db, const QString& path) {
    // The store holds chunks of a megabyte, which large pages write with less
    // bookkeeping; freed pages go back to the file system (see ReleaseFreePages).
    // The page size first: SQLite fixes it when the vacuum mode is set.
    Run(db, QStringLiteral("PRAGMA page_size = 65536"), path);
    Run(db, QStringLiteral("PRAGMA auto_vacuum = INCREMENTAL"), path);
    Run(db, QStringLiteral("BEGIN"), path);
    Run(db,
        QStringLiteral("CREATE TABLE undo_imports(id INTEGER PRIMARY KEY, project TEXT NOT NULL, "
                       "time TEXT NOT NULL, lcid INTEGER NOT NULL, column TEXT NOT NULL, "
                       "source TEXT NOT NULL, rows INTEGER NOT NULL DEFAULT 0, undone INTEGER "
                       "NOT NULL DEFAULT 0, first_chunk INTEGER NOT NULL DEFAULT 0, last_chunk "
                       "INTEGER NOT NULL DEFAULT -1, state INTEGER NOT NULL DEFAULT 0, bytes "
                       "INTEGER NOT NULL DEFAULT 0, dropped INTEGER NOT NULL DEFAULT 0, "
                       "witness_row INTEGER, witness_old, witness_new, stamp INTEGER NOT NULL "
                       "DEFAULT 0)"),
        path);
    Run(db,
        QStringLiteral("CREATE TABLE undo_chunks(seq INTEGER PRIMARY KEY, import INTEGER NOT "
                       "NULL, data BLOB NOT NULL)"),
        path);
    Run(db, QStringLiteral("PRAGMA user_version = %1").arg(kStoreVersion), path);
    Run(db, QStringLiteral("COMMIT"), path);
}

// Moves the project's imports out of the shared store of earlier versions into
// its own (store attached as "main"), in one transaction of both files; the
// shared store goes once it holds no import. A shared store that cannot be read
// as one is left as it is.
// Copies one import of the shared store (attached as "shared") into the store,
// with its chunks, and takes them out of the shared one.
void MoveSharedImport(sqlite3* db, const QString& path, int64_t id, int64_t first, int64_t last) {
    Run(db,
        QStringLiteral("INSERT INTO main.undo_imports(project, time, lcid, column, source, rows, "
                       "undone, state, stamp) SELECT project, time, lcid, column, source, rows, "
                       "undone, 1, CAST((julianday(time) - 2440587.5) * 86400000 AS INTEGER) "
                       "FROM shared.undo_imports WHERE id = %1")
            .arg(id),
        path);
    const int64_t copy = sqlite3_last_insert_rowid(db);
    Run(db,
        QStringLiteral("INSERT INTO main.undo_chunks(import, data) SELECT %1, data FROM "
                       "shared.undo_chunks WHERE seq BETWEEN %2 AND %3 ORDER BY seq")
            .arg(copy)
            .arg(first)
            .arg(last),
        path);
    Run(db,
        QStringLiteral("UPDATE main.undo_imports SET (first_chunk, last_chunk, bytes) = (SELECT "
                       "coalesce(min(seq), 0), coalesce(max(seq), -1), coalesce(sum(length(data)), "
                       "0) FROM main.undo_chunks WHERE import = %1) WHERE id = %1")
            .arg(copy),
        path);
    Run(db,
        QStringLiteral("DELETE FROM shared.undo_chunks WHERE seq BETWEEN %1 AND %2")
            .arg(first)
            .arg(last),
        path);
    Run(db, QStringLiteral("DELETE FROM shared.undo_imports WHERE id = %1").arg(id), path);
}

// Moves the project's imports out of the store that all projects shared in
// earlier versions into its own new store, in one transaction of both files;
// returns whether the shared store is empty then.
bool MoveSharedImports(sqlite3* db, const QString& path, const QString& project) {
    SqliteStatement version(db, QStringLiteral("PRAGMA shared.user_version"), path);
    if (!version.Step() || version.ColumnInt64(0) != kSharedVersion) return false;
    Run(db, QStringLiteral("BEGIN IMMEDIATE"), path);
    SqliteStatement imports(db,
                            QStringLiteral("SELECT id, first_chunk, last_chunk FROM "
                                           "shared.undo_imports WHERE project = ?1 ORDER BY id"),
                            path);
    imports.BindText(1, project);
    std::vector<std::array<int64_t, 3>> moving;
    while (imports.Step())
        moving.push_back({imports.ColumnInt64(0), imports.ColumnInt64(1), imports.ColumnInt64(2)});
    for (const auto& [id, first, last] : moving) MoveSharedImport(db, path, id, first, last);
    Run(db, QStringLiteral("COMMIT"), path);
    SqliteStatement left(db, QStringLiteral("SELECT count(*) FROM shared.undo_imports"), path);
    return left.Step() && left.ColumnInt64(0) == 0;
}

// The shared store of earlier versions gives the project's imports to its new
// store; it goes once it holds none. One that cannot be read as such a store is
// left as it is, the user's file: the new store begins empty then.
void TakeOverSharedImports(sqlite3* db, const QString& path, const QString& project) {
    const QString shared = UndoStoreFile::SharedPath();
    if (!QFileInfo(shared).isFile()) return;
    bool empty = false;
    try {
        SqliteStatement attach(db, QStringLiteral("ATTACH DATABASE ?1 AS shared"), path);
        attach.BindText(1, shared);
        attach.Step();
        empty = MoveSharedImports(db, path, project);
    } catch (const RuntimeError&) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db, "DETACH DATABASE shared", nullptr, nullptr, nullptr);
    if (empty) QFile::remove(shared);
}

// A new store file, made whole beside its place and linked into it, so that no
// other process and no crash ever sees a store without its tables; when another
// process made the store first, its file stays. On a connection of its own:
// SqliteConnection opens only files that exist.
void CreateStore(const QString& path) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw RuntimeError::UndoStoreNotWritable(path, QStringLiteral("der Ordner fehlt"));
    const QString scratch =
        path + QStringLiteral(".neu-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(scratch);
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(scratch).constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::optional<RuntimeError> failure;
    if (rc != SQLITE_OK) failure = RuntimeError::UndoStoreNotWritable(path, sqlite3_errmsg(db));
    try {
        if (!failure) CreateTables(db, path);
    } catch (const RuntimeError& error) {
        failure = RuntimeError::UndoStoreNotWritable(path, error.Description(), error.Number());
    }
    sqlite3_close(db);
    if (!failure &&
        ::link(QFile::encodeName(scratch).constData(), QFile::encodeName(path).constData()) != 0 &&
        errno != EEXIST)
        failure = RuntimeError::UndoStoreNotWritable(path, QString::fromLocal8Bit(strerror(errno)));
    QFile::remove(scratch);
    if (failure) throw *failure;
}

}  // namespace

QString UndoStoreFile::Folder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/QuorvinStudio/undo");
}

QString UndoStoreFile::SharedPath() {
    return QFileInfo(Folder()).absolutePath() + QStringLiteral("/undo.db");
}

QString UndoStoreFile::ProjectKey(const QString& projectFile) {
    const QFileInfo info(projectFile);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

QString UndoStoreFile::PathFor(const QString& projectFile) {
    const QString key = ProjectKey(projectFile);
    const QByteArray hash =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    // A file name holds 255 bytes. The store's name adds 20 to the project's
    // and the files SQLite and the store's creation put beside it up to 20 more
    // (".neu-<process>-journal"), so a longer project name is shortened, at a
    // whole character; the hash keeps the stores of such projects apart.
    const QString name =
        FileName::Shortened(QFileInfo(key).completeBaseName(), FileName::kMaxBytes - 45);
    return Folder() + QLatin1Char('/') + name + QLatin1Char('-') + QString::fromLatin1(hash) +
           QStringLiteral(".db");
}

UndoStoreFile::UndoStoreFile(std::unique_ptr<SqliteConnection> connection, QString path)
    : connection_(std::move(connection)), path_(std::move(path)) {}

UndoStoreFile::~UndoStoreFile() = default;

sqlite3* UndoStoreFile::Handle() const { return connection_->Handle(); }

void UndoStoreFile::Exec(const QString& sql) {
    Guarded([&] { Run(Handle(), sql, path_); });
}

void UndoStoreFile::Fail(const RuntimeError& error) const {
    // The engine's own message names the file again: the store's says what it is.
    if (error.Number() == ErrorNumber::UnrecognizedFormat)
        throw RuntimeError::UndoStoreDamaged(path_, QStringLiteral("keine SQLite-Datenbank"));
    if (error.Number() == ErrorNumber::Corrupt)
        throw RuntimeError::UndoStoreDamaged(path_, QStringLiteral("die Datenbank ist beschädigt"));
    throw RuntimeError::UndoStoreNotWritable(path_, error.Description(), error.Number());
}

// Reading the schema proves that the file is a store before anything is written.
void UndoStoreFile::CheckFormat() {
    int64_t format = 0, tables = 0;
    Guarded([&] {
        SqliteStatement version(Handle(), QStringLiteral("PRAGMA user_version"), path_);
        format = version.Step() ? version.ColumnInt64(0) : 0;
        SqliteStatement count(Handle(),
                              QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = "
                                             "'table' AND name IN ('undo_imports', "
                                             "'undo_chunks')"),
                              path_);
        tables = count.Step() ? count.ColumnInt64(0) : 0;
    });
    if (format != kStoreVersion || tables != 2)
        throw RuntimeError::UndoStoreDamaged(path_,
                                             QStringLiteral("unbekanntes Format %1").arg(format));
    // Old imports go as new ones come: overwriting their megabytes with zeros
    // first would cost an import as much as writing its own changes.
    Exec(QStringLiteral("PRAGMA secure_delete = FAST"));
    // The store is written once, front to back: a small cache does, and every
    // page it holds is an allocation of 64 KiB.
    Exec(QStringLiteral("PRAGMA cache_size = -2048"));
}

std::unique_ptr<UndoStoreFile> UndoStoreFile::Open(const QString& projectFile, bool create,
                                                   int lockTimeoutMs) {
    const QString path = PathFor(projectFile);
    if (!QFileInfo::exists(path)) {
        if (!create) return nullptr;
        CreateStore(path);
    }
    std::unique_ptr<SqliteConnection> connection;
    try {
        connection = std::make_unique<SqliteConnection>(path, SqliteConnection::Mode::ReadWrite,
                                                        lockTimeoutMs);
    } catch (const RuntimeError& error) {
        UndoStoreFile(nullptr, path).Fail(error);
    }
    std::unique_ptr<UndoStoreFile> store(new UndoStoreFile(std::move(connection), path));
    store->CheckFormat();
    // Also after a store was made but the moving of imports was interrupted.
    if (create) TakeOverSharedImports(store->Handle(), path, ProjectKey(projectFile));
    return store;
}

std::unique_ptr<UndoStoreFile> UndoStoreFile::OpenIfFree(const QString& path) {
    try {
        auto connection =
            std::make_unique<SqliteConnection>(path, SqliteConnection::Mode::ReadWrite, 0);
        std::unique_ptr<UndoStoreFile> store(new UndoStoreFile(std::move(connection), path));
        store->CheckFormat();
        return store;
    } catch (const RuntimeError&) {
        return nullptr;
    }
}

void UndoStoreFile::ReleaseFreePages(int64_t reserveBytes, int64_t slackBytes) {
    int64_t slack = 0;
    const int64_t excess = Guarded([&] {
        SqliteStatement free(Handle(), QStringLiteral("PRAGMA freelist_count"), path_);
        SqliteStatement size(Handle(), QStringLiteral("PRAGMA page_size"), path_);
        if (!free.Step() || !size.Step() || size.ColumnInt64(0) <= 0) return int64_t{0};
        slack = slackBytes / size.ColumnInt64(0);
        return free.ColumnInt64(0) - reserveBytes / size.ColumnInt64(0);
    });
    if (excess > slack) Exec(QStringLiteral("PRAGMA incremental_vacuum(%1)").arg(excess));
}
