#pragma once

#include <QWidget>

#include <functional>
#include <memory>

// Runs a window of the tool as a program: German throughout, Qt's own buttons
// and dialogs included, the Qt dialogs behind the message-box and file-dialog
// seams; the process ends when the window is closed. "--help" prints help and
// "--version" the version instead, without a display. Returns the exit status.
int RunWindow(int& argc, char** argv, const QString& name, const QString& help,
              const std::function<std::unique_ptr<QWidget>()>& makeWindow);
