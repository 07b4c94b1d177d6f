#pragma once

#include "RuntimeError.h"

#include <QString>

#include <cstdint>
#include <memory>

class SqliteConnection;
struct sqlite3;

// One project's undo store: a SQLite file of the user's own under
// $XDG_STATE_HOME/QuorvinStudio/undo/ (else ~/.local/state/QuorvinStudio/undo/),
// named after the project file and a hash of its path. Each project has a file
// of its own, so that imports into different projects never wait for each other.
// A file that is not a store of this format is reported and never written.
class UndoStoreFile {
  public:
    // The folder of the stores, the store of a project file, the project as the
    // store names it (its absolute path, links resolved).
    static QString Folder();
    static QString PathFor(const QString& projectFile);
    static QString ProjectKey(const QString& projectFile);
    // The store all projects shared before they had one each; its imports of a
    // project move into the project's store when that is made.
    static QString SharedPath();

    // Opens the project's store; with create makes the folder and the file when
    // they are not there yet. Nothing when the file is missing and create is not
    // asked. Fails with 3049 (UndoStoreDamaged) for a file that is no store of this
    // format, else with UndoStoreNotWritable.
    static std::unique_ptr<UndoStoreFile> Open(const QString& projectFile, bool create,
                                               int lockTimeoutMs);
    // Opens a store file as it is, for the bound on all stores; nothing when it is
    // busy, damaged or of another format.
    static std::unique_ptr<UndoStoreFile> OpenIfFree(const QString& path);
    ~UndoStoreFile();

    sqlite3* Handle() const;
    const QString& Path() const { return path_; }
    void Exec(const QString& sql);
    // Runs action; a RuntimeError it throws becomes the store's own error.
    template <typename Action>
    auto Guarded(Action action) const {
        try {
            return action();
        } catch (const RuntimeError& error) {
            Fail(error);
        }
    }
    [[noreturn]] void Fail(const RuntimeError& error) const;

    // Gives the pages the store no longer uses back to the file system, all of
    // them or those beyond reserveBytes: pages kept free are written again by the
    // next import without growing the file. With slackBytes, only once more than
    // reserveBytes and slackBytes together are free: moving pages to shrink the
    // file costs about as much as writing them.
    void ReleaseFreePages(int64_t reserveBytes = 0, int64_t slackBytes = 0);

  private:
    UndoStoreFile(std::unique_ptr<SqliteConnection> connection, QString path);
    void CheckFormat();

    std::unique_ptr<SqliteConnection> connection_;
    QString path_;
};
