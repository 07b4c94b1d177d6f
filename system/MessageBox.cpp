#include "MessageBox.h"

#include <cstdio>

namespace MessageBox {
namespace {

Handler& CurrentHandler() {
    static Handler handler;
    return handler;
}

}  // namespace

QString ApplicationTitle() { return QStringLiteral("QuorvinStudio"); }

void Show(const QString& text, Icon icon, const QString& details) {
    if (CurrentHandler()) {
        CurrentHandler()(text, icon, details);
        return;
    }
    WriteToStandardError(text);
}

void WriteToStandardError(const QString& text) {
    std::fprintf(stderr, "%s: %s\n", ApplicationTitle().toLocal8Bit().constData(),
                 text.toLocal8Bit().constData());
}

Handler SetHandler(Handler handler) {
    Handler previous = std::move(CurrentHandler());
    CurrentHandler() = std::move(handler);
    return previous;
}

}  // namespace MessageBox
