#pragma once

#include "MLanguageTransfer.h"
#include "MessageBox.h"

#include <QElapsedTimer>

#include <memory>

class QProgressDialog;
class QWidget;

// The progress of a long operation of a window (an import, an export): nothing
// for one done within half a second; after that a modal window with what is
// done of what there is to do and "Abbrechen", which cancels the operation (it
// then changes nothing). The window goes when this object does, or before a
// message of the operation is shown, so that the message is not shown over it.
class ProgressWindow {
  public:
    // label: what is shown, "%1" the count done, "%2" the count to do.
    explicit ProgressWindow(QWidget* owner, QString label = QStringLiteral(
                                                "Die Sprache wird importiert: %1 von %2 Zeilen"));
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // What the operation is to call; it keeps the window's events flowing.
    MLanguageTransfer::ImportProgress Callback();

  private:
    bool Update(int64_t done, int64_t total);

    QWidget* owner_;
    QString label_;
    QElapsedTimer clock_;
    std::unique_ptr<QProgressDialog> dialog_;
    bool ended_ = false;
    MessageBox::Handler previous_;
};
