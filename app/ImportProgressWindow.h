#pragma once

#include "MLanguageTransfer.h"

#include <QElapsedTimer>

#include <memory>

class QProgressDialog;
class QWidget;

// The progress of an import in the window: nothing for an import that is done
// within half a second; after that a modal window with the rows done of the
// rows to do and "Abbrechen", which cancels the import (it then changes
// nothing). The window goes when this object does.
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
};
