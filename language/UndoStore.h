#pragma once

#include "LinkedRowsModule.h"
#include "SparePool.h"
#include "WorkerThread.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class Database;
class UndoStoreFile;
struct sqlite3_stmt;

// The previous values of the texts that imports changed, so that an import can be
// undone: a store file per project (see UndoStoreFile) with the last 20 imports
// of the project, all stores together at most a size the user can set.
//
// The store is written on a connection of its own, never in the project's
// transaction, so that the guarantee holds in every journal mode of the project
// (SQLite commits attached files atomically only in rollback-journal mode): an
// import's record is committed as pending before the project commits, and marked
// complete after. A record left pending by an import that was killed between the
// two commits is settled by the project's texts the next time the store is used:
// when any text holds what the import wrote, the import committed and its
// record stays, else it goes. An undo is recorded the same way. So the project
// never changes without its undo data, and the store never keeps data of an
// import that did not commit.
namespace UndoStore {

// How many imports are kept per project file.
inline constexpr int kKeptImports = 20;
// The size all stores together keep to, unless QUORVIN_UNDO_LIMIT_MB sets another.
inline constexpr int64_t kDefaultLimitMiB = 1024;
int64_t LimitBytes();

// The store of a project file.
QString PathFor(const QString& projectFile);

// One import as the store keeps it.
struct Entry {
    int64_t id = 0;
    QString time;  // UTC, ISO 8601
    int32_t lcid = 0;
    QString column;
    QString source;
    int64_t rows = 0;  // texts it changed
    bool undone = false;
    int64_t bytes = 0;       // its changes in the store
    bool dropped = false;    // its changes went to keep the stores within their size
    int64_t firstChunk = 0;  // its changes in the store: the chunks from first to last
    int64_t lastChunk = -1;
};

// Records the texts that the caller's update of the language column changes,
// as an import of sourceFile: the update hands every change to it (it is the
// update's change sink), and it writes them in chunks of about a megabyte into
// the project's store as the update runs (on a thread beside it, so that the
// update does not wait for the store), so that memory stays small. Made on
// an open project database in its write transaction; fails (RuntimeError naming
// the store) when the store cannot be created, written or read, before anything
// of the project is changed.
class Recording : public LinkedRowsModule::ChangeSink {
  public:
    Recording(Database& db, const QString& projectFile, int32_t lcid, const QString& sourceFile);
    ~Recording() override;
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // Before the update: adds the import to the store, pending.
    void Start();
    void Changed(int64_t row, double key, sqlite3_value* old, const QByteArray* now) override;
    // The update starts again from its first row: what was recorded goes.
    void Restart() override;
    // After the update, before the project commits: writes what is left, notes
    // how many texts the import changed and commits the record as pending. An
    // import that changed nothing leaves no record.
    void Finish(int64_t changedTexts);
    // After the project committed: the record is complete; only the last imports
    // of the project stay, and the oldest imports of any project go while all
    // stores hold more than LimitBytes(), never this one. A failure here leaves
    // the record pending, to be settled the next time.
    void Committed() noexcept;

    // One text as the import changes it: its row, its value before the import
    // and the last value the import gave it. Rows with the same key come one
    // after the other, so a text's changes are one run of calls.
    struct Run {
        int64_t row = -1;
        int beforeType = 0;  // SQLite's type code of the value before
        QByteArray before;   // its bytes: a number's 8, a text's or blob's own
        QByteArray now;
        bool nowIsNull = false;
    };

  private:
    void Flush();
    void WriteChunk(const QByteArray& chunk);
    QByteArray SpareChunk();
    void EndRun();
    void WriteWitness();
    int BindBefore(sqlite3_stmt* statement, int index) const;

    Database& db_;
    std::unique_ptr<UndoStoreFile> store_;
    QString project_;
    int32_t lcid_;
    QString source_;
    int64_t id_ = 0;
    int64_t firstChunk_ = 0;
    int64_t bytes_ = 0;
    QByteArray chunk_;             // filled by the update
    SparePool<QByteArray> spare_;  // written chunks, kept for their memory
    int64_t changes_ = 0;          // told by the update
    bool open_ = false;            // the store's transaction is open
    bool pending_ = false;         // the record is committed as pending
    Run run_;                      // the text changed last
    // The last text whose value the import changes: holding its new value or its
    // old one tells whether the import committed (see Settle).
    Run witness_;
    // Writes the full chunks; last, so that it stops before what it uses goes.
    WorkerThread writer_{1};
};

// The kept imports of a project file, newest first.
std::vector<Entry> List(const QString& projectFile);

// What all stores hold together, and the limit they keep to.
struct Sizes {
    int64_t project = 0;  // the project's store file
    int64_t all = 0;      // every store file
    int64_t limit = 0;
};
Sizes SizesFor(const QString& projectFile);

struct Conflict {
    double id = 0;    // the text's ID
    QString written;  // what the import wrote
    QString current;  // what the text holds now ("" for Null or a row gone)
    bool gone = false;
};

struct UndoResult {
    bool found = false;  // false: no import left to undo
    Entry entry;
    int64_t reverted = 0;
    std::vector<Conflict> conflicts;  // left alone unless forced
};

// Puts back the previous values of the last import of the project not yet
// undone, as one transaction: each text that still holds what that import
// wrote, every text with force. With expected, that import must be the one of
// that id (the one just done), else it fails with 3021. Fails with a RuntimeError,
// also when the import's changes went to keep the stores within their size.
UndoResult UndoLast(const QString& projectFile, bool force,
                    std::optional<int64_t> expected = std::nullopt);

// The texts that changed since the last import of the project (expected, as
// above), which an undo leaves alone unless forced; nothing is changed.
std::vector<Conflict> ConflictsOfLast(const QString& projectFile, int64_t expected);

}  // namespace UndoStore
