#include "UndoStore.h"

#include "DBEngine.h"
#include "Database.h"
#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"
#include "UndoChunks.h"
#include "UndoLimit.h"
#include "UndoStoreFile.h"
#include "VectorRegisters.h"

#include <QDateTime>
#include <QFileInfo>

#include <sqlite3.h>

#include <cstring>

#include <array>
#include <new>
#include <utility>

namespace UndoStore {
namespace {

// What an entry's state says: the import's record was committed before the
// project, the import is complete, or an undo of it was about to commit.
enum State { kPending = 0, kComplete = 1, kUndoing = 2 };

const QString kRaw = QStringLiteral("quorvin_undo_changes");
const QString kPlan = QStringLiteral("quorvin_undo_plan");
const QString kPlanTable = QStringLiteral("temp.") + QuoteIdentifier(kPlan);

const QString kEntryColumns = QStringLiteral(
    "id, time, lcid, column, source, rows, undone, first_chunk, last_chunk, bytes, dropped, "
    "state");

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
    entry.bytes = row.ColumnInt64(9);
    entry.dropped = row.ColumnInt64(10) != 0;
    return entry;
}

// The entries of the store that match where, newest first, with their states.
std::vector<std::pair<Entry, int>> Entries(const UndoStoreFile& store, const QString& where) {
    return store.Guarded([&] {
        std::vector<std::pair<Entry, int>> entries;
        SqliteStatement list(store.Handle(),
                             QStringLiteral("SELECT %1 FROM undo_imports WHERE %2 ORDER BY id DESC")
                                 .arg(kEntryColumns, where),
                             store.Path());
        while (list.Step())
            entries.emplace_back(ReadEntry(list), static_cast<int>(list.ColumnInt64(11)));
        return entries;
    });
}

// The last import of the project not undone yet; nothing when there is none.
std::optional<Entry> LastImport(const UndoStoreFile& store) {
    const auto entries = Entries(store, QStringLiteral("state = 1 AND undone = 0"));
    if (entries.empty()) return std::nullopt;
    return entries.front().first;
}

QString TextTable(Database& db) {
    return QuoteIdentifier(db.TableDefs().Item(QStringLiteral("TidxTexts")).Name());
}

// The import's changes in their order, then per text the value before the
// import (its first change) and what it wrote (its last), in the plan table on
// the project's connection.
void MakePlan(const UndoStoreFile& store, SqliteConnection& c, const Entry& entry) {
    const QString raw = QStringLiteral("temp.") + QuoteIdentifier(kRaw);
    c.Exec(QStringLiteral("CREATE TEMP TABLE %1(seq INTEGER PRIMARY KEY, row, key, old, new)")
               .arg(QuoteIdentifier(kRaw)));
    store.Guarded([&] {
        UndoChunks::Read(store.Handle(), entry.firstChunk, entry.lastChunk, c.Handle(), raw,
                         store.Path());
    });
    c.Exec(QStringLiteral("CREATE TEMP TABLE %1 AS SELECT r.row AS row, l.key AS key, f.old AS "
                          "old, l.new AS new FROM (SELECT row, min(seq) AS first, max(seq) AS "
                          "last FROM %2 GROUP BY row) AS r JOIN %2 AS f ON f.seq = r.first JOIN "
                          "%2 AS l ON l.seq = r.last")
               .arg(QuoteIdentifier(kPlan), raw));
    c.Exec(QStringLiteral("DROP TABLE %1").arg(raw));
}

// Whether any text the import changed holds what it wrote: the import (or, for an
// undo, not the undo) committed.
bool HoldsWhatItWrote(const UndoStoreFile& store, Database& db, const Entry& entry) {
    SqliteConnection& c = db.Connection();
    MakePlan(store, c, entry);
    bool holds = false;
    {
        SqliteStatement check(
            c.Handle(),
            QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1 AS p JOIN main.%2 AS t ON t.rowid = "
                           "p.row WHERE p.new IS NOT p.old AND t.%3 IS p.new)")
                .arg(kPlanTable, TextTable(db), QuoteIdentifier(entry.column)),
            db.Name());
        holds = check.Step() && check.ColumnInt64(0) != 0;
    }
    c.Exec(QStringLiteral("DROP TABLE %1").arg(kPlanTable));
    return holds;
}

// What the witness of an import (the last text whose value it changed) holds: its
// new value (true), its value before (false), or something else, or it is gone
// (nothing: the texts must be compared one by one).
std::optional<bool> WitnessHoldsWhatItWrote(const UndoStoreFile& store, Database& db,
                                            const Entry& entry) {
    SqliteStatement witness(
        store.Handle(),
        QStringLiteral("SELECT witness_row, witness_old, witness_new FROM undo_imports WHERE id "
                       "= %1 AND witness_row IS NOT NULL")
            .arg(entry.id),
        store.Path());
    if (!witness.Step()) return std::nullopt;
    const Variant oldValue = witness.Column(1), newValue = witness.Column(2);
    SqliteStatement now(db.Connection().Handle(),
                        QStringLiteral("SELECT %1 FROM main.%2 WHERE rowid = ?1")
                            .arg(QuoteIdentifier(entry.column), TextTable(db)),
                        db.Name());
    now.BindInt64(1, witness.ColumnInt64(0));
    if (!now.Step()) return std::nullopt;
    const Variant current = now.Column(0);
    if (current == newValue) return true;
    if (current == oldValue) return false;
    return std::nullopt;
}

void DeleteImport(UndoStoreFile& store, const Entry& entry) {
    store.Exec(QStringLiteral("DELETE FROM undo_chunks WHERE seq BETWEEN %1 AND %2")
                   .arg(entry.firstChunk)
                   .arg(entry.lastChunk));
    store.Exec(QStringLiteral("DELETE FROM undo_imports WHERE id = %1").arg(entry.id));
}

// Settles the records that an import or undo killed between the commits of store
// and project left behind, by the project's texts. The caller holds the
// project's write lock, so that no import or undo of it is under way.
void Settle(UndoStoreFile& store, Database& db) {
    for (const auto& [entry, state] : Entries(store, QStringLiteral("state <> 1"))) {
        const std::optional<bool> witnessed = WitnessHoldsWhatItWrote(store, db, entry);
        const bool written = witnessed ? *witnessed : HoldsWhatItWrote(store, db, entry);
        if (state == kPending && !written) {
            store.Exec(QStringLiteral("BEGIN IMMEDIATE"));
            DeleteImport(store, entry);
            store.Exec(QStringLiteral("COMMIT"));
        } else {
            // A pending import that committed; an undo that committed (nothing
            // holds what the import wrote any more) or did not.
            const bool undone = state == kUndoing && !written;
            store.Exec(
                QStringLiteral("UPDATE undo_imports SET state = 1, undone = %2 WHERE id = %1")
                    .arg(entry.id)
                    .arg(undone ? 1 : 0));
        }
    }
    // The pages of a dropped record are written again by the import that follows.
}

bool HasUnsettled(const UndoStoreFile& store) {
    return !Entries(store, QStringLiteral("state <> 1")).empty();
}

int LockTimeout() { return DBEngine::Instance().LockTimeout(); }

}  // namespace

int64_t LimitBytes() { return UndoLimit::LimitBytes(); }

namespace {

// Copies bytes into a buffer that keeps its memory from text to text.
void Assign(QByteArray& buffer, const void* bytes, int size) {
    buffer.resize(size);
    if (size > 0) std::memcpy(buffer.data(), bytes, static_cast<size_t>(size));
}

}  // namespace

QString PathFor(const QString& projectFile) { return UndoStoreFile::PathFor(projectFile); }

Recording::Recording(Database& db, const QString& projectFile, int32_t lcid,
                     const QString& sourceFile)
    : db_(db),
      store_(UndoStoreFile::Open(projectFile, /*create=*/true, LockTimeout())),
      project_(UndoStoreFile::ProjectKey(projectFile)),
      lcid_(lcid),
      source_(sourceFile) {
    Settle(*store_, db_);
}

Recording::~Recording() {
    writer_.Discard();
    if (open_) sqlite3_exec(store_->Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Recording::Start() {
    store_->Exec(QStringLiteral("BEGIN IMMEDIATE"));
    open_ = true;
    store_->Guarded([&] {
        SqliteStatement add(store_->Handle(),
                            QStringLiteral("INSERT INTO undo_imports(project, time, lcid, column, "
                                           "source, state, stamp) VALUES (?1, ?2, ?3, ?4, ?5, 0, "
                                           "?6)"),
                            store_->Path());
        const QDateTime now = QDateTime::currentDateTimeUtc();
        add.BindText(1, project_);
        add.BindText(2, now.toString(Qt::ISODate));
        add.BindInt64(6, now.toMSecsSinceEpoch());
        add.BindInt64(3, lcid_);
        add.BindText(4, MLanguageTransfer::LanguageColumn(lcid_));
        add.BindText(5, QFileInfo(source_).absoluteFilePath());
        add.Step();
        id_ = static_cast<int64_t>(sqlite3_last_insert_rowid(store_->Handle()));
        SqliteStatement next(store_->Handle(),
                             QStringLiteral("SELECT coalesce(max(seq), 0) + 1 FROM undo_chunks"),
                             store_->Path());
        firstChunk_ = next.Step() ? next.ColumnInt64(0) : 1;
    });
    chunk_ = SpareChunk();
}

QByteArray Recording::SpareChunk() {
    QByteArray chunk = spare_.Take();
    chunk.reserve(UndoChunks::kChunkBytes + 4096);  // nothing for a chunk written before
    return chunk;
}

void Recording::Changed(int64_t row, double key, sqlite3_value* old, const QByteArray* now) {
    ++changes_;
    if (row != run_.row) {
        EndRun();
        run_.row = row;
        run_.beforeType = sqlite3_value_type(old);
        if (run_.beforeType == SQLITE_INTEGER) {
            const auto integer = static_cast<int64_t>(sqlite3_value_int64(old));
            Assign(run_.before, &integer, sizeof integer);
        } else if (run_.beforeType == SQLITE_FLOAT) {
            const double real = sqlite3_value_double(old);
            Assign(run_.before, &real, sizeof real);
        } else if (run_.beforeType != SQLITE_NULL) {
            const void* bytes =
                run_.beforeType == SQLITE_TEXT ? sqlite3_value_text(old) : sqlite3_value_blob(old);
            Assign(run_.before, bytes, sqlite3_value_bytes(old));
        }
    }
    run_.nowIsNull = now == nullptr;
    if (now) Assign(run_.now, now->constData(), static_cast<int>(now->size()));
    UndoChunks::Append(chunk_, row, key, old, now);
    if (chunk_.size() >= UndoChunks::kChunkBytes) Flush();
}

// A text's run of changes ends: it is the witness when its value changes. The
// two keep their buffers, so that no text costs an allocation.
void Recording::EndRun() {
    if (run_.row < 0) return;
    const bool same = run_.nowIsNull ? run_.beforeType == SQLITE_NULL
                                     : run_.beforeType == SQLITE_TEXT && run_.before == run_.now;
    if (!same) std::swap(witness_, run_);
    run_.row = -1;
}

void Recording::WriteWitness() {
    EndRun();
    if (witness_.row < 0) return;
    store_->Guarded([&] {
        SqliteStatement note(store_->Handle(),
                             QStringLiteral("UPDATE undo_imports SET witness_row = ?1, "
                                            "witness_new = ?2 WHERE id = %1")
                                 .arg(id_),
                             store_->Path());
        note.BindInt64(1, witness_.row);
        if (witness_.nowIsNull)
            note.BindNull(2);
        else
            note.BindText(2, QString::fromUtf8(witness_.now));
        note.Step();
        sqlite3_stmt* old = nullptr;
        int rc = sqlite3_prepare_v2(store_->Handle(),
                                    "UPDATE undo_imports SET witness_old = ?1 WHERE id = ?2", -1,
                                    &old, nullptr);
        if (rc == SQLITE_OK) rc = BindBefore(old, 1);
        if (rc == SQLITE_OK) rc = sqlite3_bind_int64(old, 2, id_);
        if (rc == SQLITE_OK) rc = sqlite3_step(old);
        sqlite3_finalize(old);
        if (rc != SQLITE_DONE) ThrowSqliteError(store_->Handle(), rc, store_->Path());
    });
}

// The witness's value before the import, as it was stored.
int Recording::BindBefore(sqlite3_stmt* statement, int index) const {
    const Run& w = witness_;
    const auto size = static_cast<int>(w.before.size());
    switch (w.beforeType) {
        case SQLITE_INTEGER: {
            int64_t integer = 0;
            std::memcpy(&integer, w.before.constData(), sizeof integer);
            return sqlite3_bind_int64(statement, index, integer);
        }
        case SQLITE_FLOAT: {
            double real = 0;
            std::memcpy(&real, w.before.constData(), sizeof real);
            return sqlite3_bind_double(statement, index, real);
        }
        case SQLITE_TEXT:
            return sqlite3_bind_text(statement, index, w.before.constData(), size,
                                     SQLITE_TRANSIENT);
        case SQLITE_BLOB:
            return sqlite3_bind_blob(statement, index, w.before.constData(), size,
                                     SQLITE_TRANSIENT);
        default:
            return sqlite3_bind_null(statement, index);
    }
}

void Recording::Restart() {
    writer_.Discard();
    run_.row = -1;
    witness_.row = -1;
    chunk_.resize(0);
    changes_ = 0;
    bytes_ = 0;
    store_->Exec(QStringLiteral("DELETE FROM undo_chunks WHERE seq >= %1").arg(firstChunk_));
}

// Hands the chunk gathered so far to the writer; the update goes on with another.
void Recording::Flush() {
    if (chunk_.isEmpty()) return;
    bytes_ += chunk_.size();
    writer_.Post([this, chunk = std::exchange(chunk_, SpareChunk())]() mutable {
        WriteChunk(chunk);
        chunk.resize(0);  // keeps its memory for another chunk
        spare_.Give(std::move(chunk));
    });
}

// Writes a chunk as one row of the store. The row is made with room for the
// chunk and the chunk written into it: bound as a value, SQLite would first
// copy the megabyte into a record of its own, an allocation that costs the
// fresh pages of a megabyte for every chunk.
void Recording::WriteChunk(const QByteArray& chunk) {
    sqlite3* db = store_->Handle();
    store_->Guarded([&] {
        sqlite3_stmt* add = nullptr;
        int rc = sqlite3_prepare_v2(db, "INSERT INTO undo_chunks(import, data) VALUES (?1, ?2)", -1,
                                    &add, nullptr);
        if (rc == SQLITE_OK) rc = sqlite3_bind_int64(add, 1, id_);
        if (rc == SQLITE_OK) rc = sqlite3_bind_zeroblob(add, 2, static_cast<int>(chunk.size()));
        if (rc == SQLITE_OK) rc = sqlite3_step(add);
        sqlite3_finalize(add);
        if (rc != SQLITE_DONE)
            ThrowSqliteError(db, rc == SQLITE_OK ? SQLITE_ERROR : rc, store_->Path());
        sqlite3_blob* data = nullptr;
        rc = sqlite3_blob_open(db, "main", "undo_chunks", "data", sqlite3_last_insert_rowid(db),
                               /*writable=*/1, &data);
        if (rc == SQLITE_OK)
            rc = sqlite3_blob_write(data, chunk.constData(), static_cast<int>(chunk.size()), 0);
        const int closed = sqlite3_blob_close(data);
        if (rc == SQLITE_OK) rc = closed;
        if (rc != SQLITE_OK) ThrowSqliteError(db, rc, store_->Path());
        // The chunk goes to the disk now, beside the update: the store's commit
        // before the project's then waits for the last chunk only.
        rc = sqlite3_db_cacheflush(db);
        sqlite3_file* file = nullptr;
        if (rc == SQLITE_OK)
            rc = sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file);
        if (rc == SQLITE_OK && file && file->pMethods)
            rc = file->pMethods->xSync(file, SQLITE_SYNC_NORMAL);
        if (rc != SQLITE_OK) ThrowSqliteError(db, rc, store_->Path());
    });
}

void Recording::Finish(int64_t changedTexts) {
    Flush();
    writer_.Wait();
    if (changes_ == 0) {
        // Nothing to take back: an undo would undo nothing and leave the import
        // before it in place.
        store_->Exec(QStringLiteral("ROLLBACK"));
        open_ = false;
        return;
    }
    WriteWitness();
    store_->Exec(QStringLiteral("UPDATE undo_imports SET rows = %2, first_chunk = %3, last_chunk "
                                "= (SELECT coalesce(max(seq), -1) FROM undo_chunks WHERE seq >= "
                                "%3), bytes = %4 WHERE id = %1")
                     .arg(id_)
                     .arg(changedTexts)
                     .arg(firstChunk_)
                     .arg(bytes_));
    store_->Exec(QStringLiteral("COMMIT"));
    open_ = false;
    pending_ = true;
}

void Recording::Committed() noexcept {
    if (!pending_) return;
    try {
        store_->Exec(QStringLiteral("BEGIN IMMEDIATE"));
        open_ = true;
        store_->Exec(QStringLiteral("UPDATE undo_imports SET state = 1 WHERE id = %1").arg(id_));
        // Only the newest imports of the project stay.
        for (const auto& [entry, state] :
             Entries(*store_, QStringLiteral("state = 1 AND id NOT IN (SELECT id FROM "
                                             "undo_imports WHERE state = 1 ORDER BY id DESC "
                                             "LIMIT %1)")
                                  .arg(kKeptImports)))
            DeleteImport(*store_, entry);
        store_->Exec(QStringLiteral("COMMIT"));
        open_ = pending_ = false;
        // The imports that went leave room for the next one, which is likely as
        // large as one of those kept: shrinking the file only to grow it again
        // costs as much as the import's own undo data. Imports of different sizes
        // (a smaller one after larger ones) leave a little more room each time;
        // the file shrinks back to one import's room once another one's is free.
        const int64_t largest = store_->Guarded([&] {
            SqliteStatement query(store_->Handle(),
                                  QStringLiteral("SELECT max(bytes) FROM undo_imports"),
                                  store_->Path());
            return query.Step() ? query.ColumnInt64(0) : int64_t{0};
        });
        store_->ReleaseFreePages(largest, largest);
        UndoLimit::Enforce(*store_, id_);
    } catch (const RuntimeError&) {
        // The import is done; its record, still pending, is settled next time.
    }
}

std::vector<Entry> List(const QString& projectFile) {
    const auto store = UndoStoreFile::Open(projectFile, /*create=*/false, LockTimeout());
    if (!store) return {};
    if (HasUnsettled(*store)) {
        // Settled under the project's write lock; a project that another program
        // holds or that cannot be written keeps them unsettled and unlisted.
        try {
            auto db = DBEngine::Instance().OpenDatabase(projectFile);
            db->BeginTrans();
            Settle(*store, *db);
            db->Close();
        } catch (const RuntimeError&) {
        }
    }
    std::vector<Entry> entries;
    for (auto& [entry, state] : Entries(*store, QStringLiteral("state <> 0")))
        entries.push_back(std::move(entry));
    return entries;
}

Sizes SizesFor(const QString& projectFile) {
    Sizes sizes;
    sizes.project = QFileInfo(PathFor(projectFile)).size();
    sizes.all = UndoLimit::SizeOfAll();
    sizes.limit = UndoLimit::LimitBytes();
    return sizes;
}

namespace {

// The texts that no longer hold what the import wrote, or whose row is gone.
std::vector<Conflict> Conflicts(const Database& db, const QString& table, const QString& column) {
    std::vector<Conflict> conflicts;
    SqliteStatement select(
        db.Connection().Handle(),
        QStringLiteral("SELECT p.key, p.new, t.%2, t.rowid IS NULL FROM %1 AS p LEFT JOIN "
                       "main.%3 AS t ON t.rowid = p.row WHERE t.rowid IS NULL OR t.%2 IS NOT "
                       "p.new ORDER BY p.row")
            .arg(kPlanTable, column, table),
        db.Name());
    while (select.Step())
        conflicts.push_back({select.Column(0).ToNumber(), select.ColumnText(1),
                             select.ColumnText(2), select.ColumnInt64(3) != 0});
    return conflicts;
}

// The last import of the project and its plan made; nothing when there is none.
// With expected, that import must be the last (3021 when it is not). One whose
// changes went to keep the stores within their size cannot be undone.
std::optional<Entry> PlanLastImport(const UndoStoreFile& store, Database& db,
                                    const QString& projectFile, std::optional<int64_t> expected) {
    const std::optional<Entry> last = LastImport(store);
    if (expected && (!last || last->id != *expected))
        throw RuntimeError::NotTheLastImport(projectFile);
    if (last && last->dropped)
        throw RuntimeError::ImportNoLongerKept(projectFile, last->time,
                                               UndoLimit::LimitBytes() >> 20);
    if (last) MakePlan(store, db.Connection(), *last);
    return last;
}

// Puts the planned values back and notes the undo in the store: marked as under
// way before the project commits, done after (see Settle).
int64_t Revert(UndoStoreFile& store, Database& db, const Entry& entry, bool force) {
    SqliteConnection& c = db.Connection();
    const QString table = TextTable(db);
    const QString column = QuoteIdentifier(entry.column);
    c.Exec(QStringLiteral("UPDATE main.%1 SET %2 = p.old FROM %3 AS p WHERE %1.rowid = p.row "
                          "AND (%4 OR %1.%2 IS p.new)")
               .arg(table, column, kPlanTable, force ? QStringLiteral("1") : QStringLiteral("0")));
    const int64_t reverted = sqlite3_changes64(c.Handle());
    c.Exec(QStringLiteral("DROP TABLE %1").arg(kPlanTable));
    store.Exec(QStringLiteral("UPDATE undo_imports SET state = 2 WHERE id = %1").arg(entry.id));
    db.CommitTrans();
    store.Exec(QStringLiteral("UPDATE undo_imports SET state = 1, undone = 1 WHERE id = %1")
                   .arg(entry.id));
    // An undone import is never undone again: its changes are of no more use.
    try {
        UndoLimit::DropChanges(store, entry.id, /*dropped=*/false);
    } catch (const RuntimeError&) {
    }
    return reverted;
}

}  // namespace

std::vector<Conflict> ConflictsOfLast(const QString& projectFile, int64_t expected) {
    const auto store = UndoStoreFile::Open(projectFile, /*create=*/false, LockTimeout());
    if (!store) throw RuntimeError::NotTheLastImport(projectFile);
    auto db = DBEngine::Instance().OpenDatabase(projectFile, /*readOnly=*/true);
    const std::optional<Entry> last = PlanLastImport(*store, *db, projectFile, expected);
    auto conflicts = Conflicts(*db, TextTable(*db), QuoteIdentifier(last->column));
    db->Close();
    return conflicts;
}

UndoResult UndoLast(const QString& projectFile, bool force, std::optional<int64_t> expected) {
    VectorRegisters::ClearUpperHalves();
    UndoResult result;
    auto db = DBEngine::Instance().OpenDatabase(projectFile);
    db->BeginTrans();
    const auto store = UndoStoreFile::Open(projectFile, /*create=*/false, LockTimeout());
    if (!store) {
        if (expected) throw RuntimeError::NotTheLastImport(projectFile);
        return result;
    }
    Settle(*store, *db);
    const std::optional<Entry> last = PlanLastImport(*store, *db, projectFile, expected);
    if (!last) return result;
    result.found = true;
    result.entry = *last;
    result.conflicts = Conflicts(*db, TextTable(*db), QuoteIdentifier(result.entry.column));
    result.reverted = Revert(*store, *db, result.entry, force);
    db->Close();
    result.entry.undone = true;
    return result;
}

}  // namespace UndoStore
