#include "SourceFile.h"

#include "RuntimeError.h"

#include <QFileInfo>

std::unique_ptr<QFile> OpenSourceFile(const QString& path, const QString& noun, qint64 maxSize) {
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) throw RuntimeError::FileNotFound(path);
    if (info.size() > maxSize)
        throw RuntimeError::SourceDamaged(noun, path,
                                          QStringLiteral("größer als %1 MiB").arg(maxSize >> 20));
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) throw RuntimeError::FileUnreadable(path);
    return file;
}
