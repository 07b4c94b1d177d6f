#pragma once

#include "MLanguageTransfer.h"

#include <QElapsedTimer>
#include <QString>

// Shows on standard error how far long work has come: after a second, the
// work's name and the rows done of the rows to do, on one line that is cleared
// at the end. Only when standard error is a terminal; on a pipe it writes nothing.
class TerminalProgress {
  public:
    explicit TerminalProgress(QString what);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // What the import is to call.
    MLanguageTransfer::ImportProgress Callback();

  private:
    QString what_;
    bool terminal_;
    bool shown_ = false;
    QElapsedTimer clock_;
};
