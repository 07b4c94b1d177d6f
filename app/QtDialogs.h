#pragma once

#include <QStringList>

// Puts the real Qt dialogs behind the program's message-box and open-file seams.
namespace QtDialogs {

// Message boxes become QMessageBoxes with the application's title, one OK button
// and the icon asked for, owned by the active window; a long text gets a box that
// wraps every line and fits the screen.
void InstallMessageBox();

// The file dialog becomes a modal QFileDialog, for opening (mode 1) or saving
// (mode 2): the "description|pattern|..." filter pairs become its name filters
// (the first one chosen; in saving, a name without an extension gets the chosen
// one's), flag 0x1000 asks for an existing file, 0x2 asks before overwriting one,
// and the owner handle names its parent window.
void InstallFileDialog();

// The "description|pattern|..." filter as the dialog's name filters: each
// description as it is, its patterns behind it for Qt to read ("*.*" is every
// file, also one without an extension).
QStringList NameFilters(const QString& filter);

}  // namespace QtDialogs
