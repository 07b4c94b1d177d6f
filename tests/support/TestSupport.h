#pragma once

#include "MessageBox.h"
#include "Variant.h"

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <ostream>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
void PrintTo(const Variant& value, std::ostream* out);

// A file of the tests' data folder.
QString TestData(const QString& relativePath);

// The folder this test process keeps its undo store in ($XDG_STATE_HOME).
QString TestStateFolder();

// A fresh temporary folder per test, removed afterwards.
class TempFolder {
  public:
    TempFolder();
    QString Path(const QString& name) const;
    // Copies a file of the tests' data folder here (writable) and returns its path.
    QString Copy(const QString& relativePath, const QString& asName = {}) const;

  private:
    QTemporaryDir dir_;
};

// One row of a test project: ID and the texts of L1031, L1033, L1049 (Null where unset).
struct ProjectRow {
    int64_t id;
    Variant l1031, l1033, l1049;
};

// Writes a project file with a table TidxTexts(ID, L1031, L1033, L1049).
void WriteProject(const QString& path, const std::vector<ProjectRow>& rows);

// The values of one column of TidxTexts by ID, read with plain SQLite.
std::map<int64_t, Variant> ReadColumn(const QString& path, const QString& column);
// Runs SQL on a database file with plain SQLite.
void RunSql(const QString& path, const QString& sql);
// The names of the tables of a database file.
std::vector<QString> TableNames(const QString& path);
// The result of PRAGMA integrity_check, the file opened as a later run opens it
// (read-write, so that a journal left behind is rolled back first).
QString IntegrityCheck(const QString& path);
QByteArray FileBytes(const QString& path);

// The number of the RuntimeError the action throws, 0 when it throws none.
int ErrorNumberOf(const std::function<void()>& action);
// "<number> <description>" of the RuntimeError the action throws, empty when none.
QString ErrorText(const std::function<void()>& action);

// Records what would be shown in message boxes while it lives, and answers
// them: with the answers given, in turn, then with each box's first button.
class MessageRecorder {
  public:
    MessageRecorder();
    ~MessageRecorder();
    struct Message {
        QString text;
        MessageBox::Icon icon;
        QString details;
        std::vector<MessageBox::Button> buttons;
    };
    std::vector<Message> messages;
    std::deque<MessageBox::Button> answers;

    // The number in the one import failure message recorded ("Fehler beim
    // Importieren einer Sprache!\n<number>: ..."); checks that there is exactly one.
    int FailureNumber() const;

  private:
    MessageBox::Handler previous_;
};
