#pragma once

#include "LinkedRowsModule.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class Database;

// The previous values of the texts that imports changed, so that an import can be
// undone: one SQLite file of the user, $XDG_STATE_HOME/QuorvinStudio/undo.db (else
// ~/.local/state/QuorvinStudio/undo.db), with the last 20 imports of each project
// file. An import writes into it in its own transaction (the store is attached to
// the project's connection), so the project never changes without its undo data
// and the store never keeps data of an import that did not commit. A store that
// cannot be read as one is reported and never overwritten.
namespace UndoStore {

QString Path();

// How many imports are kept per project file.
inline constexpr int kKeptImports = 20;

// One import as the store keeps it.
struct Entry {
    int64_t id = 0;
    QString time;  // UTC, ISO 8601
    int32_t lcid = 0;
    QString column;
    QString source;
    int64_t rows = 0;  // texts it changed
    bool undone = false;
    int64_t firstChunk = 0;  // its changes in the store: the chunks from first to last
    int64_t lastChunk = -1;
};

// Records the texts that the caller's update of the language column changes,
// as an import of sourceFile: the update hands every change to it (it is the
// update's change sink), and it writes them in chunks of about a megabyte into
// the attached store as the update runs, so that memory stays small. Made on an
// open project database before its transaction begins; Start and Finish run in
// the transaction. Fails (RuntimeError naming the store) when the store cannot
// be created, written or read, before anything of the project is changed.
class Recording : public LinkedRowsModule::ChangeSink {
  public:
    Recording(Database& db, const QString& projectFile, int32_t lcid, const QString& sourceFile);
    ~Recording() override;
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // Before the update: adds the import to the store.
    void Start();
    void Changed(int64_t row, double key, sqlite3_value* old, const QByteArray* now) override;
    // What was written of the changes is rolled back with the update; the rest goes here.
    void Restart() override {
        chunk_.clear();
        changes_ = 0;
    }
    // After the update: writes what is left, notes how many texts the import
    // changed and keeps the last imports of the project only. An import that
    // changed nothing leaves no entry.
    void Finish(int64_t changedTexts);

  private:
    void Flush();

    Database& db_;
    QString project_;
    int32_t lcid_;
    QString source_;
    int64_t id_ = 0;
    int64_t firstChunk_ = 0;
    QByteArray chunk_;
    int64_t changes_ = 0;  // told by the update
};

// The kept imports of a project file, newest first.
std::vector<Entry> List(const QString& projectFile);

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
// that id (the one just done), else it fails with 3021. Fails with a RuntimeError.
UndoResult UndoLast(const QString& projectFile, bool force,
                    std::optional<int64_t> expected = std::nullopt);

// The texts that changed since the last import of the project (expected, as
// above), which an undo leaves alone unless forced; nothing is changed.
std::vector<Conflict> ConflictsOfLast(const QString& projectFile, int64_t expected);

}  // namespace UndoStore
