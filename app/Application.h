#pragma once

#include <QWidget>

#include <functional>
#include <memory>

// Runs a window of the tool as a program: German throughout, Qt's own buttons
// and dialogs included, the Qt dialogs behind the message-box and file-dialog
// seams; the process ends when the window is closed. "--help" prints help and
// "--version" the version instead, without a display. Returns the exit status.
struct WindowProgram {
    QString name;       // the application's name, as Qt shows it
    QString desktopId;  // the name of its .desktop file, without ".desktop"
    QString help;       // "--help"; %1 is the program's name
};
int RunWindow(int& argc, char** argv, const WindowProgram& program,
              const std::function<std::unique_ptr<QWidget>()>& makeWindow);
