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
#include <cstring>
#include <optional>

namespace UndoStore {
namespace {

const QString kRaw = QStringLiteral("quorvin_undo_changes");
const QString kPlan = QStringLiteral("quorvin_undo_plan");
constexpr qsizetype kChunkBytes = 1 << 20;
// The format of the store, in its user_version; a file with another is not ours to write.
constexpr int kStoreVersion = 1;

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

// The store's tables in the given schema ("main" for a new file, "undo" once
// attached). An import's changes are the chunks from its first to its last, each
// a run of entries (see Recording::Changed); nothing else needs an index.
void CreateTables(sqlite3* db, const QString& schema) {
    Run(db, QStringLiteral("CREATE TABLE IF NOT EXISTS %1.undo_imports(id INTEGER PRIMARY KEY, "
                           "project TEXT NOT NULL, time TEXT NOT NULL, lcid INTEGER NOT NULL, "
                           "column TEXT NOT NULL, source TEXT NOT NULL, rows INTEGER NOT NULL "
                           "DEFAULT 0, undone INTEGER NOT NULL DEFAULT 0, "
                           "first_chunk INTEGER NOT NULL DEFAULT 0, "
                           "last_chunk INTEGER NOT NULL DEFAULT -1)")
                .arg(schema));
    Run(db, QStringLiteral("CREATE TABLE IF NOT EXISTS %1.undo_chunks(seq INTEGER PRIMARY KEY, "
                           "import INTEGER NOT NULL, data BLOB NOT NULL)")
                .arg(schema));
    Run(db, QStringLiteral("PRAGMA %1.user_version = %2").arg(schema).arg(kStoreVersion));
}

// An entry of a chunk: row id, key, old value, new value. A value is SQLite's
// type code in one byte, then for numbers their 8 bytes, for texts and blobs a
// 4-byte length and the bytes; numbers in the machine's byte order, as a store
// belongs to one user on one machine.
struct StoredValue {
    char type = SQLITE_NULL;
    char number[8] = {};
    const void* bytes = nullptr;  // of a text or blob
    size_t size = 0;

    explicit StoredValue(sqlite3_value* value)
        : type(static_cast<char>(sqlite3_value_type(value))) {
        switch (type) {
            case SQLITE_INTEGER: {
                const auto integer = static_cast<int64_t>(sqlite3_value_int64(value));
                std::memcpy(number, &integer, sizeof number);
                break;
            }
            case SQLITE_FLOAT: {
                const double real = sqlite3_value_double(value);
                std::memcpy(number, &real, sizeof number);
                break;
            }
            case SQLITE_TEXT:
                bytes = sqlite3_value_text(value);
                size = static_cast<size_t>(sqlite3_value_bytes(value));
                break;
            case SQLITE_BLOB:
                bytes = sqlite3_value_blob(value);
                size = static_cast<size_t>(sqlite3_value_bytes(value));
                break;
            default:
                break;
        }
    }
    explicit StoredValue(const QByteArray* text) {
        if (!text) return;
        type = SQLITE_TEXT;
        bytes = text->constData();
        size = static_cast<size_t>(text->size());
    }
    size_t Length() const {
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return 1 + sizeof number;
        if (type == SQLITE_TEXT || type == SQLITE_BLOB) return 1 + sizeof(uint32_t) + size;
        return 1;
    }
};

// Writes an entry of known length at the end of a chunk, grown once for it.
class EntryWriter {
  public:
    EntryWriter(QByteArray& chunk, size_t length) {
        const qsizetype start = chunk.size();
        chunk.resize(start + static_cast<qsizetype>(length));
        at_ = chunk.data() + start;
    }
    template <typename T>
    void Raw(T value) {
        Put(&value, sizeof value);
    }
    void Value(const StoredValue& value) {
        *at_++ = value.type;
        if (value.type == SQLITE_INTEGER || value.type == SQLITE_FLOAT) {
            Put(value.number, sizeof value.number);
        } else if (value.type == SQLITE_TEXT || value.type == SQLITE_BLOB) {
            Raw(static_cast<uint32_t>(value.size));
            if (value.size > 0) Put(value.bytes, value.size);
        }
    }

  private:
    void Put(const void* bytes, size_t size) {
        std::memcpy(at_, bytes, size);
        at_ += size;
    }
    char* at_ = nullptr;
};

template <typename T>
bool ReadRaw(const char*& at, const char* end, T& value) {
    if (static_cast<size_t>(end - at) < sizeof value) return false;
    std::memcpy(&value, at, sizeof value);
    at += sizeof value;
    return true;
}

// Binds the next value of a chunk to a parameter; false when the chunk is damaged.
bool BindValue(sqlite3_stmt* statement, int index, const char*& at, const char* end) {
    if (at >= end) return false;
    const int type = static_cast<unsigned char>(*at++);
    switch (type) {
        case SQLITE_NULL:
            return sqlite3_bind_null(statement, index) == SQLITE_OK;
        case SQLITE_INTEGER: {
            int64_t number = 0;
            return ReadRaw(at, end, number) &&
                   sqlite3_bind_int64(statement, index, number) == SQLITE_OK;
        }
        case SQLITE_FLOAT: {
            double number = 0;
            return ReadRaw(at, end, number) &&
                   sqlite3_bind_double(statement, index, number) == SQLITE_OK;
        }
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            uint32_t size = 0;
            if (!ReadRaw(at, end, size) || static_cast<size_t>(end - at) < size) return false;
            const int length = static_cast<int>(size);
            const int rc = type == SQLITE_TEXT
                               ? sqlite3_bind_text(statement, index, at, length, SQLITE_TRANSIENT)
                               : sqlite3_bind_blob(statement, index, at, length, SQLITE_TRANSIENT);
            at += size;
            return rc == SQLITE_OK;
        }
        default:
            return false;
    }
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
        // The store holds chunks of a megabyte: large pages write them with less
        // bookkeeping per byte.
        Run(db, QStringLiteral("PRAGMA page_size = 65536"));
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
        // The store drops the oldest imports as new ones come: overwriting their
        // megabytes with zeros first (SQLite builds may do so by default) would
        // cost an import as much as writing its own changes. The file is the user's own.
        Run(connection.Handle(), QStringLiteral("PRAGMA undo.secure_delete = FAST"));
        // Reading the schema proves that the file is a store before anything is written.
        SqliteStatement tables(connection.Handle(),
                               QStringLiteral("SELECT count(*) FROM undo.sqlite_master"), path);
        SqliteStatement version(connection.Handle(), QStringLiteral("PRAGMA undo.user_version"),
                                path);
        const int64_t count = tables.Step() ? tables.ColumnInt64(0) : 0;
        const int64_t format = version.Step() ? version.ColumnInt64(0) : 0;
        if (format != kStoreVersion && !(format == 0 && count == 0))
            throw RuntimeError::UndoStoreDamaged(
                path, QStringLiteral("unbekanntes Format %1").arg(format));
    });
}

bool StoreHasTables(sqlite3* db) {
    SqliteStatement find(db,
                         QStringLiteral("SELECT count(*) FROM undo.sqlite_master WHERE type = "
                                        "'table' AND name IN ('undo_imports', 'undo_chunks')"),
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
    entry.firstChunk = row.ColumnInt64(7);
    entry.lastChunk = row.ColumnInt64(8);
    return entry;
}

const QString kEntryColumns =
    QStringLiteral("id, time, lcid, column, source, rows, undone, first_chunk, last_chunk");

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

void Recording::Start() {
    sqlite3* db = db_.Connection().Handle();
    OnStore([&] {
        CreateTables(db, QStringLiteral("undo"));
        SqliteStatement add(db,
                            QStringLiteral("INSERT INTO undo.undo_imports(project, time, lcid, "
                                           "column, source) VALUES (?1, ?2, ?3, ?4, ?5)"),
                            Path());
        add.BindText(1, project_);
        add.BindText(2, QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
        add.BindInt64(3, lcid_);
        add.BindText(4, MLanguageTransfer::LanguageColumn(lcid_));
        add.BindText(5, QFileInfo(source_).absoluteFilePath());
        add.Step();
        id_ = static_cast<int64_t>(sqlite3_last_insert_rowid(db));
        SqliteStatement next(
            db, QStringLiteral("SELECT coalesce(max(seq), 0) + 1 FROM undo.undo_chunks"), Path());
        firstChunk_ = next.Step() ? next.ColumnInt64(0) : 1;
    });
    chunk_.reserve(kChunkBytes + 4096);
}

void Recording::Changed(int64_t row, double key, sqlite3_value* old, const QByteArray* now) {
    ++changes_;
    const StoredValue before(old), after(now);
    EntryWriter entry(chunk_, sizeof row + sizeof key + before.Length() + after.Length());
    entry.Raw(row);
    entry.Raw(key);
    entry.Value(before);
    entry.Value(after);
    if (chunk_.size() >= kChunkBytes) Flush();
}

// Writes the chunk gathered so far as one row of the store.
void Recording::Flush() {
    if (chunk_.isEmpty()) return;
    sqlite3* db = db_.Connection().Handle();
    OnStore([&] {
        sqlite3_stmt* add = nullptr;
        int rc = sqlite3_prepare_v2(
            db, "INSERT INTO undo.undo_chunks(import, data) VALUES (?1, ?2)", -1, &add, nullptr);
        if (rc == SQLITE_OK) rc = sqlite3_bind_int64(add, 1, id_);
        if (rc == SQLITE_OK)
            rc = sqlite3_bind_blob(add, 2, chunk_.constData(), static_cast<int>(chunk_.size()),
                                   SQLITE_STATIC);
        if (rc == SQLITE_OK) rc = sqlite3_step(add);
        sqlite3_finalize(add);
        if (rc != SQLITE_DONE) ThrowSqliteError(db, rc == SQLITE_OK ? SQLITE_ERROR : rc, Path());
    });
    chunk_.resize(0);  // keeps its memory for the next chunk
}

void Recording::Finish(int64_t changedTexts) {
    Flush();
    sqlite3* db = db_.Connection().Handle();
    if (changes_ == 0) {
        // Nothing to take back: an undo would undo nothing and leave the import
        // before it in place.
        OnStore([&] {
            Run(db, QStringLiteral("DELETE FROM undo.undo_imports WHERE id = %1").arg(id_));
        });
        return;
    }
    OnStore([&] {
        Run(db, QStringLiteral("UPDATE undo.undo_imports SET rows = %2, first_chunk = %3, "
                               "last_chunk = (SELECT coalesce(max(seq), -1) FROM undo.undo_chunks "
                               "WHERE seq >= %3) WHERE id = %1")
                    .arg(id_)
                    .arg(changedTexts)
                    .arg(firstChunk_));
        // Only the newest imports of the project stay.
        SqliteStatement old(db,
                            QStringLiteral("SELECT id, first_chunk, last_chunk FROM "
                                           "undo.undo_imports WHERE project = ?1 "
                                           "ORDER BY id DESC LIMIT -1 OFFSET %1")
                                .arg(kKeptImports),
                            Path());
        old.BindText(1, project_);
        std::vector<std::array<int64_t, 3>> ranges;
        while (old.Step())
            ranges.push_back({old.ColumnInt64(0), old.ColumnInt64(1), old.ColumnInt64(2)});
        for (const auto& [id, first, last] : ranges) {
            Run(db, QStringLiteral("DELETE FROM undo.undo_chunks WHERE seq BETWEEN %1 AND %2")
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
            QStringLiteral("SELECT %1 FROM undo_imports WHERE project = ?1 ORDER BY id DESC")
                .arg(kEntryColumns),
            Path());
        list.BindText(1, ProjectKey(projectFile));
        while (list.Step()) entries.push_back(ReadEntry(list));
        return entries;
    });
}

namespace {

// Copies the changes of an import from its chunks into table(row, key, old, new),
// in the order they were made. A chunk that does not read whole is a damaged store.
void ReadChanges(sqlite3* db, const Entry& entry, const QString& table) {
    sqlite3_stmt* chunks = nullptr;
    sqlite3_stmt* add = nullptr;
    const QByteArray select = QStringLiteral(
                                  "SELECT data FROM undo.undo_chunks WHERE seq BETWEEN "
                                  "%1 AND %2 ORDER BY seq")
                                  .arg(entry.firstChunk)
                                  .arg(entry.lastChunk)
                                  .toUtf8();
    const QByteArray insert =
        QStringLiteral("INSERT INTO %1(row, key, old, new) VALUES (?1, ?2, ?3, ?4)")
            .arg(table)
            .toUtf8();
    int rc = sqlite3_prepare_v2(db, select.constData(), -1, &chunks, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(db, insert.constData(), -1, &add, nullptr);
    bool damaged = false;
    while (rc == SQLITE_OK && !damaged) {
        rc = sqlite3_step(chunks);
        if (rc != SQLITE_ROW) break;
        rc = SQLITE_OK;
        const char* at = static_cast<const char*>(sqlite3_column_blob(chunks, 0));
        const char* end = at + sqlite3_column_bytes(chunks, 0);
        while (at && at < end && rc == SQLITE_OK) {
            int64_t row = 0;
            double key = 0;
            damaged = !ReadRaw(at, end, row) || !ReadRaw(at, end, key) ||
                      !BindValue(add, 3, at, end) || !BindValue(add, 4, at, end);
            if (damaged) break;
            sqlite3_bind_int64(add, 1, row);
            sqlite3_bind_double(add, 2, key);
            rc = sqlite3_step(add);
            rc = rc == SQLITE_DONE ? sqlite3_reset(add) : rc;
        }
    }
    sqlite3_finalize(chunks);
    sqlite3_finalize(add);
    if (damaged)
        throw RuntimeError::UndoStoreDamaged(Path(), QStringLiteral("ein Block ist unvollständig"));
    if (rc != SQLITE_DONE && rc != SQLITE_OK) ThrowSqliteError(db, rc, Path());
}

}  // namespace

namespace {

// The last import of the project not undone yet, read on the project's
// connection with the store attached; nothing when there is none.
std::optional<Entry> LastImport(sqlite3* db, const QString& projectFile) {
    return OnStore([&]() -> std::optional<Entry> {
        if (!StoreHasTables(db)) return std::nullopt;
        SqliteStatement last(db,
                             QStringLiteral("SELECT %1 FROM undo.undo_imports WHERE project = ?1 "
                                            "AND undone = 0 ORDER BY id DESC LIMIT 1")
                                 .arg(kEntryColumns),
                             Path());
        last.BindText(1, ProjectKey(projectFile));
        if (!last.Step()) return std::nullopt;
        return ReadEntry(last);
    });
}

// The import's changes in their order, then per text the value before the
// import (its first change) and what it wrote (its last), in the plan table.
void MakePlan(SqliteConnection& c, const Entry& entry) {
    const QString raw = QStringLiteral("temp.") + QuoteIdentifier(kRaw);
    c.Exec(QStringLiteral("CREATE TEMP TABLE %1(seq INTEGER PRIMARY KEY, row, key, old, new)")
               .arg(QuoteIdentifier(kRaw)));
    OnStore([&] { ReadChanges(c.Handle(), entry, raw); });
    c.Exec(QStringLiteral("CREATE TEMP TABLE %1 AS SELECT row, key, old, new FROM (SELECT row, "
                          "key, first_value(old) OVER whole AS old, last_value(new) OVER whole "
                          "AS new, row_number() OVER (PARTITION BY row ORDER BY seq) AS n FROM %2 "
                          "WINDOW whole AS (PARTITION BY row ORDER BY seq ROWS BETWEEN UNBOUNDED "
                          "PRECEDING AND UNBOUNDED FOLLOWING)) WHERE n = 1")
               .arg(QuoteIdentifier(kPlan), raw));
    c.Exec(QStringLiteral("DROP TABLE %1").arg(raw));
}

// The texts that no longer hold what the import wrote, or whose row is gone.
std::vector<Conflict> Conflicts(const Database& db, const QString& plan, const QString& table,
                                const QString& column) {
    std::vector<Conflict> conflicts;
    SqliteStatement select(
        db.Connection().Handle(),
        QStringLiteral("SELECT p.key, p.new, t.%2, t.rowid IS NULL FROM %1 AS p LEFT JOIN "
                       "main.%3 AS t ON t.rowid = p.row WHERE t.rowid IS NULL OR t.%2 IS NOT "
                       "p.new ORDER BY p.row")
            .arg(plan, column, table),
        db.Name());
    while (select.Step())
        conflicts.push_back({select.Column(0).ToNumber(), select.ColumnText(1),
                             select.ColumnText(2), select.ColumnInt64(3) != 0});
    return conflicts;
}

}  // namespace

namespace {

// The last import of the project, read through the store attached to the
// project's connection, and its plan made; nothing when there is none. With
// expected, that import must be the last (3021 when it is not).
std::optional<Entry> PlanLastImport(Database& db, const QString& projectFile,
                                    std::optional<int64_t> expected) {
    SqliteConnection& c = db.Connection();
    const std::optional<Entry> last = LastImport(c.Handle(), projectFile);
    if (expected && (!last || last->id != *expected))
        throw RuntimeError::NotTheLastImport(projectFile);
    if (last) MakePlan(c, *last);
    return last;
}

QString TextTable(Database& db) {
    return QuoteIdentifier(db.TableDefs().Item(QStringLiteral("TidxTexts")).Name());
}

const QString kPlanTable = QStringLiteral("temp.") + QuoteIdentifier(kPlan);

}  // namespace

std::vector<Conflict> ConflictsOfLast(const QString& projectFile, int64_t expected) {
    if (!QFileInfo::exists(Path())) throw RuntimeError::NotTheLastImport(projectFile);
    auto db = DBEngine::Instance().OpenDatabase(projectFile, /*readOnly=*/true);
    AttachStore(db->Connection(), /*create=*/false);
    const std::optional<Entry> last = PlanLastImport(*db, projectFile, expected);
    auto conflicts = Conflicts(*db, kPlanTable, TextTable(*db), QuoteIdentifier(last->column));
    db->Close();
    return conflicts;
}

UndoResult UndoLast(const QString& projectFile, bool force, std::optional<int64_t> expected) {
    UndoResult result;
    auto db = DBEngine::Instance().OpenDatabase(projectFile);
    if (!QFileInfo::exists(Path())) {
        if (expected) throw RuntimeError::NotTheLastImport(projectFile);
        return result;
    }
    SqliteConnection& c = db->Connection();
    AttachStore(c, /*create=*/false);
    db->BeginTrans();
    const std::optional<Entry> last = PlanLastImport(*db, projectFile, expected);
    if (!last) return result;
    result.found = true;
    result.entry = *last;

    const QString table = TextTable(*db);
    const QString column = QuoteIdentifier(result.entry.column);
    result.conflicts = Conflicts(*db, kPlanTable, table, column);
    c.Exec(QStringLiteral("UPDATE main.%1 SET %2 = p.old FROM %3 AS p WHERE %1.rowid = p.row "
                          "AND (%4 OR %1.%2 IS p.new)")
               .arg(table, column, kPlanTable, force ? QStringLiteral("1") : QStringLiteral("0")));
    result.reverted = sqlite3_changes64(c.Handle());
    c.Exec(QStringLiteral("DROP TABLE %1").arg(kPlanTable));
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
