#pragma once

#include <QStringList>

// Puts the real Qt dialogs behind the program's message-box and open-file seams.
namespace QtDialogs {

// Message boxes become QMessageBoxes with the application's title, one OK button
// and the icon asked for, owned by the active window; a long text gets a box that
// wraps every line and fits the screen.
void InstallMessageBox();

// The open-file dialog becomes a modal QFileDialog: the "description|pattern|..."
// filter pairs become its name filters (the first one chosen), flag 0x1000 asks
// for an existing file, and the owner handle names its parent window.
void InstallOpenDialog();

// The "description|pattern|..." filter as the dialog's name filters: each
// description as it is, its patterns behind it for Qt to read ("*.*" is every
// file, also one without an extension).
QStringList NameFilters(const QString& filter);

}  // namespace QtDialogs
