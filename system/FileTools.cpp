#include "FileTools.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

FileTools::OpenDialogHandler& DialogHandler() {
    static FileTools::OpenDialogHandler handler;
    return handler;
}

}  // namespace

QString FileTools::GetExtension(const QString& path) const {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return {};
    return name.mid(dot + 1).toLower();
}

bool FileTools::FileExists(const QString& path) const {
    // One stat: the chooser asks this of every registered project.
    struct stat info {};
    return stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISDIR(info.st_mode);
}

QString FileTools::ShowOpenDialog(int32_t mode, const QString& title, const QString& initialPath,
                                  const QString& filter, int32_t flags, quintptr owner) const {
    if (!DialogHandler()) return {};
    return DialogHandler()(OpenDialogRequest{mode, title, initialPath, filter, flags, owner});
}

FileTools::OpenDialogHandler FileTools::SetOpenDialogHandler(OpenDialogHandler handler) {
    OpenDialogHandler previous = std::move(DialogHandler());
    DialogHandler() = std::move(handler);
    return previous;
}
