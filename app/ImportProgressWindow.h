#pragma once

#include "MLanguageTransfer.h"
#include "MessageBox.h"

#include <QElapsedTimer>

#include <memory>

class QProgressDialog;
class QWidget;

// The progress of an import in the window: nothing for an import that is done
// within half a second; after that a modal window with the rows done of the
// rows to do and "Abbrechen", which cancels the import (it then changes
// nothing). The window goes when this object does, or before a message of the
// import is shown, so that the message is not shown over it.
class ImportProgressWindow {
  public:
    explicit ImportProgressWindow(QWidget* owner);
    ~ImportProgressWindow();
    ImportProgressWindow(const ImportProgressWindow&) = delete;
    ImportProgressWindow& operator=(const ImportProgressWindow&) = delete;

    // What the import is to call; it keeps the window's events flowing.
    MLanguageTransfer::ImportProgress Callback();

  private:
    bool Update(int64_t done, int64_t total);

    QWidget* owner_;
    QElapsedTimer clock_;
    std::unique_ptr<QProgressDialog> dialog_;
    bool ended_ = false;
    MessageBox::Handler previous_;
};
