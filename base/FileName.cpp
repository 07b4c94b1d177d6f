#include "FileName.h"

namespace FileName {

QString Shortened(const QString& name, qsizetype maxBytes) {
    QString shortened = name;
    while (!shortened.isEmpty() && shortened.toUtf8().size() > maxBytes)
        shortened.chop(shortened.size() > 1 && shortened.back().isLowSurrogate() &&
                               shortened.at(shortened.size() - 2).isHighSurrogate()
                           ? 2
                           : 1);
    return shortened;
}

}  // namespace FileName
