#pragma once

// Puts the real Qt dialogs behind the program's message-box and open-file seams.
namespace QtDialogs {

// Message boxes become QMessageBoxes with the application's title, one OK button
// and the icon asked for, owned by the active window.
void InstallMessageBox();

// The open-file dialog becomes a modal QFileDialog: the "description|pattern|..."
// filter pairs become its name filters (the first one chosen), flag 0x1000 asks
// for an existing file, and the owner handle names its parent window.
void InstallOpenDialog();

}  // namespace QtDialogs
