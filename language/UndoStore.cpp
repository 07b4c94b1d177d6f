#include "UndoStore.h"

#include "DBEngine.h"
#include "Database.h"
#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <array>
#include <optional>

namespace UndoStore {
namespace {

const QString kTrigger = QStringLiteral("quorvin_undo_record");
const QString kPlan = QStringLiteral("quorvin_undo_plan");

// The project as the store names it: its absolute path, links resolved.
QString ProjectKey(const QString& projectFile) {
    const QFileInfo info(projectFile);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

// A store error: the file is not a store (never overwritten), or it cannot be written.
[[noreturn]] void ThrowStoreError(const RuntimeError& error) {
    if (error.Number() == ErrorNumber::UnrecognizedFormat || error.Number() == ErrorNumber::Corrupt)
        throw RuntimeError::UndoStoreDamaged(Path(), error.Description());
    throw RuntimeError::UndoStoreNotWritable(Path(), error.Description(), error.Number());
}

template <typename Action>
auto OnStore(Action action) {
    try {
        return action();
    } catch (const RuntimeError& error) {
        ThrowStoreError(error);
    }
}

void Run(sqlite3* db, const QString& sql) {
    SqliteStatement statement(db, sql, Path());
    while (statement.Step()) {
    }
}

// The store's tables in the given schema ("main" for a new file, "undo" once attached).
void CreateTables(sqlite3* db, const QString& schema) {
    Run(db, QStringLiteral("CREATE TABLE IF NOT EXISTS %1.undo_imports(id INTEGER PRIMARY KEY, "
                           "project TEXT NOT NULL, time TEXT NOT NULL, lcid INTEGER NOT NULL, "
                           "column TEXT NOT NULL, source TEXT NOT NULL, rows INTEGER NOT NULL "
                           "DEFAULT 0, undone INTEGER NOT NULL DEFAULT 0, "
                           "first_change INTEGER NOT NULL DEFAULT 0, "
                           "last_change INTEGER NOT NULL DEFAULT -1)")
                .arg(schema));
    Run(db, QStringLiteral("CREATE TABLE IF NOT EXISTS %1.undo_changes(seq INTEGER PRIMARY KEY, "
                           "import INTEGER NOT NULL, row INTEGER NOT NULL, key, old, new)")
                .arg(schema));
    // No index: an import's changes are one range of seq (first_change to
    // last_change of the import), which is all that reading and removing them needs.
}

// A new store, made on a connection of its own: the project's connection opens
// only files that exist, and so do the databases attached to it.
void CreateStore(const QString& path) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw RuntimeError::UndoStoreNotWritable(path, QStringLiteral("der Ordner fehlt"));
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const QString error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        throw RuntimeError::UndoStoreNotWritable(path, error);
    }
    std::optional<RuntimeError> failure;
    try {
        CreateTables(db, QStringLiteral("main"));
    } catch (const RuntimeError& error) {
        failure = error;
    }
    sqlite3_close(db);
    if (failure) {
        QFile::remove(path);
        ThrowStoreError(*failure);
    }
}

// Attaches the store to the connection as "undo"; with create, makes its folder
// and its tables when they are not there yet.
void AttachStore(SqliteConnection& connection, bool create) {
    const QString path = Path();
    if (create && !QFileInfo::exists(path)) CreateStore(path);
    OnStore([&] {
        SqliteStatement attach(connection.Handle(), QStringLiteral("ATTACH DATABASE ?1 AS undo"),
                               path);
        attach.BindText(1, path);
        attach.Step();
        // Reading the schema proves that the file is a store before anything is written.
        Run(connection.Handle(), QStringLiteral("SELECT count(*) FROM undo.sqlite_master"));
    });
}

bool StoreHasTables(sqlite3* db) {
    SqliteStatement find(db,
                         QStringLiteral("SELECT count(*) FROM undo.sqlite_master WHERE type = "
                                        "'table' AND name IN ('undo_imports', 'undo_changes')"),
                         Path());
    return find.Step() && find.ColumnInt64(0) == 2;
}

Entry ReadEntry(const SqliteStatement& row) {
    Entry entry;
    entry.id = row.ColumnInt64(0);
    entry.time = row.ColumnText(1);
    entry.lcid = static_cast<int32_t>(row.ColumnInt64(2));
    entry.column = row.ColumnText(3);
    entry.source = row.ColumnText(4);
    entry.rows = row.ColumnInt64(5);
    entry.undone = row.ColumnInt64(6) != 0;
    entry.firstChange = row.ColumnInt64(7);
    entry.lastChange = row.ColumnInt64(8);
    return entry;
}

const QString kEntryColumns =
    QStringLiteral("id, time, lcid, column, source, rows, undone, first_change, last_change");

}  // namespace

QString Path() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/QuorvinStudio/undo.db");
}

Recording::Recording(Database& db, const QString& projectFile, int32_t lcid,
                     const QString& sourceFile)
    : db_(db), project_(ProjectKey(projectFile)), lcid_(lcid), source_(sourceFile) {
    AttachStore(db_.Connection(), /*create=*/true);
}

Recording::~Recording() = default;

void Recording::Start(const QString& table) {
    sqlite3* db = db_.Connection().Handle();
    const QString column = MLanguageTransfer::LanguageColumn(lcid_);
    OnStore([&] {
        CreateTables(db, QStringLiteral("undo"));
        SqliteStatement add(
            db,
            QStringLiteral("INSERT INTO undo.undo_imports(project, time, lcid, column, "
                           "source) VALUES (?1, ?2, ?3, ?4, ?5)"),
            Path());
        add.BindText(1, project_);
        add.BindText(2, QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
        add.BindInt64(3, lcid_);
        add.BindText(4, column);
        add.BindText(5, QFileInfo(source_).absoluteFilePath());
        add.Step();
        id_ = static_cast<int64_t>(sqlite3_last_insert_rowid(db));
        SqliteStatement next(db,
                             QStringLiteral("SELECT coalesce(max(seq), 0) + 1 FROM "
                                            "undo.undo_changes"),
                             Path());
        firstChange_ = next.Step() ? next.ColumnInt64(0) : 1;
    });
    // A temporary trigger writes into the attached store as the update changes texts.
    const QString quoted = QuoteIdentifier(column);
    db_.Connection().Exec(QStringLiteral("CREATE TEMP TRIGGER %1 AFTER UPDATE OF %2 ON main.%3 "
                                         "WHEN OLD.%2 IS NOT NEW.%2 BEGIN "
                                         "INSERT INTO undo_changes(import, row, key, old, new) "
                                         "VALUES (%4, OLD.rowid, OLD.\"ID\", OLD.%2, NEW.%2); END")
                              .arg(QuoteIdentifier(kTrigger), quoted, QuoteIdentifier(table))
                              .arg(id_));
}

void Recording::Finish(int64_t changedTexts) {
    sqlite3* db = db_.Connection().Handle();
    db_.Connection().Exec(QStringLiteral("DROP TRIGGER temp.%1").arg(QuoteIdentifier(kTrigger)));
    OnStore([&] {
        Run(db,
            QStringLiteral("UPDATE undo.undo_imports SET first_change = (SELECT coalesce(min(seq), "
                           "0) FROM undo.undo_changes WHERE seq >= %2), last_change = (SELECT "
                           "coalesce(max(seq), -1) FROM undo.undo_changes) WHERE id = %1")
                .arg(id_)
                .arg(firstChange_));
        Run(db, QStringLiteral("UPDATE undo.undo_imports SET rows = %2 WHERE id = %1")
                    .arg(id_)
                    .arg(changedTexts));
        // Only the newest imports of the project stay.
        SqliteStatement old(db,
                            QStringLiteral("SELECT id, first_change, last_change FROM "
                                           "undo.undo_imports WHERE project = ?1 "
                                           "ORDER BY id DESC LIMIT -1 OFFSET %1")
                                .arg(kKeptImports),
                            Path());
        old.BindText(1, project_);
        std::vector<std::array<int64_t, 3>> ranges;
        while (old.Step())
            ranges.push_back({old.ColumnInt64(0), old.ColumnInt64(1), old.ColumnInt64(2)});
        for (const auto& [id, first, last] : ranges) {
            Run(db, QStringLiteral("DELETE FROM undo.undo_changes WHERE seq BETWEEN %1 AND %2")
                        .arg(first)
                        .arg(last));
            Run(db, QStringLiteral("DELETE FROM undo.undo_imports WHERE id = %1").arg(id));
        }
    });
}

std::vector<Entry> List(const QString& projectFile) {
    std::vector<Entry> entries;
    if (!QFileInfo::exists(Path())) return entries;
    return OnStore([&] {
        // Opened for writing, so that the journal of an import that was killed is
        // rolled back first, as the next import would.
        SqliteConnection store(Path(), SqliteConnection::Mode::ReadWrite,
                               DBEngine::Instance().LockTimeout());
        SqliteStatement tables(store.Handle(),
                               QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = "
                                              "'undo_imports'"),
                               Path());
        if (!tables.Step() || tables.ColumnInt64(0) == 0) return entries;
        SqliteStatement list(
            store.Handle(),
            QStringLiteral("SELECT %1 FROM undo_imports WHERE project = ?1 ORDER BY "
                           "id DESC")
                .arg(kEntryColumns),
            Path());
        list.BindText(1, ProjectKey(projectFile));
        while (list.Step()) entries.push_back(ReadEntry(list));
        return entries;
    });
}

UndoResult UndoLast(const QString& projectFile, bool force) {
    UndoResult result;
    auto db = DBEngine::Instance().OpenDatabase(projectFile);
    if (!QFileInfo::exists(Path())) return result;
    SqliteConnection& c = db->Connection();
    AttachStore(c, /*create=*/false);
    db->BeginTrans();
    if (!OnStore([&] { return StoreHasTables(c.Handle()); })) return result;
    OnStore([&] {
        SqliteStatement last(
            c.Handle(),
            QStringLiteral("SELECT %1 FROM undo.undo_imports WHERE project = ?1 AND "
                           "undone = 0 ORDER BY id DESC LIMIT 1")
                .arg(kEntryColumns),
            Path());
        last.BindText(1, ProjectKey(projectFile));
        if (last.Step()) {
            result.found = true;
            result.entry = ReadEntry(last);
        }
    });
    if (!result.found) return result;

    const QString table = QuoteIdentifier(db->TableDefs().Item(QStringLiteral("TidxTexts")).Name());
    const QString column = QuoteIdentifier(result.entry.column);
    const QString plan = QStringLiteral("temp.") + QuoteIdentifier(kPlan);
    // Per text: the value before the import (its first change) and what it wrote (its last).
    c.Exec(
        QStringLiteral("CREATE TEMP TABLE %1 AS SELECT row, key, old, new FROM (SELECT row, key, "
                       "first_value(old) OVER whole AS old, last_value(new) OVER whole AS new, "
                       "row_number() OVER (PARTITION BY row ORDER BY seq) AS n "
                       "FROM undo.undo_changes WHERE seq BETWEEN %2 AND %3 "
                       "WINDOW whole AS (PARTITION BY row ORDER BY seq ROWS BETWEEN UNBOUNDED "
                       "PRECEDING AND UNBOUNDED FOLLOWING)) WHERE n = 1")
            .arg(QuoteIdentifier(kPlan))
            .arg(result.entry.firstChange)
            .arg(result.entry.lastChange));
    {
        SqliteStatement conflicts(
            c.Handle(),
            QStringLiteral("SELECT p.key, p.new, t.%2, t.rowid IS NULL FROM %1 AS p LEFT JOIN "
                           "main.%3 AS t ON t.rowid = p.row WHERE t.rowid IS NULL OR t.%2 IS NOT "
                           "p.new ORDER BY p.row")
                .arg(plan, column, table),
            db->Name());
        while (conflicts.Step())
            result.conflicts.push_back({conflicts.Column(0).ToNumber(), conflicts.ColumnText(1),
                                        conflicts.ColumnText(2), conflicts.ColumnInt64(3) != 0});
    }
    c.Exec(QStringLiteral("UPDATE main.%1 SET %2 = p.old FROM %3 AS p WHERE %1.rowid = p.row "
                          "AND (%4 OR %1.%2 IS p.new)")
               .arg(table, column, plan, force ? QStringLiteral("1") : QStringLiteral("0")));
    result.reverted = sqlite3_changes64(c.Handle());
    c.Exec(QStringLiteral("DROP TABLE %1").arg(plan));
    OnStore([&] {
        Run(c.Handle(), QStringLiteral("UPDATE undo.undo_imports SET undone = 1 WHERE id = %1")
                            .arg(result.entry.id));
    });
    db->CommitTrans();
    db->Close();
    result.entry.undone = true;
    return result;
}

}  // namespace UndoStore
