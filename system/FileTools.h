#pragma once

#include <QString>
#include <cstdint>
#include <functional>

// File-name and file-system utilities, and the open-file dialog.
class FileTools {
  public:
    // The extension of the path's file name without its dot, in lower case
    // ("TEXTE.XLS" gives "xls"); the empty text when the name has none.
    QString GetExtension(const QString& path) const;

    // True when a file (not a folder) exists at the path.
    bool FileExists(const QString& path) const;

    // Shows the file dialog: mode 1 opens, mode 2 saves; filter is
    // "description|pattern|..." pairs, the first pair the initial choice; flags
    // 0x1000 = the file must exist, 0x4 = no read-only box, 0x2 = ask before a file
    // is overwritten; owner is the owning window. Returns the chosen full path, or
    // the empty text when the user cancels.
    QString ShowOpenDialog(int32_t mode, const QString& title, const QString& initialPath,
                           const QString& filter, int32_t flags, quintptr owner) const;

    struct OpenDialogRequest {
        int32_t mode;
        QString title;
        QString initialPath;
        QString filter;
        int32_t flags;
        quintptr owner;
    };
    using OpenDialogHandler = std::function<QString(const OpenDialogRequest&)>;
    // The dialog behind ShowOpenDialog: the window installs a real one, tests
    // answer it. Without one the dialog answers as if cancelled. Returns the
    // handler it replaces.
    static OpenDialogHandler SetOpenDialogHandler(OpenDialogHandler handler);
};
