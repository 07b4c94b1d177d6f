#pragma once

#include <QString>

// File names as the file system takes them: at most 255 bytes (UTF-8 on Linux).
namespace FileName {

inline constexpr qsizetype kMaxBytes = 255;

// The name cut to at most maxBytes of UTF-8, at a whole character (a surrogate
// pair is never split); a name that fits stays as it is.
QString Shortened(const QString& name, qsizetype maxBytes);

}  // namespace FileName
