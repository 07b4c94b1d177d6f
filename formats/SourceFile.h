#pragma once

#include <QFile>
#include <QString>

#include <memory>

// A text source file (a .csv, an XLIFF file) opened for reading after the
// checks every such reader makes: it is there and is a file (3024), it is not
// larger than maxSize (3274, "Die <noun> '…' ist fehlerhaft: größer als N MiB")
// and it can be read (3051).
std::unique_ptr<QFile> OpenSourceFile(const QString& path, const QString& noun, qint64 maxSize);
