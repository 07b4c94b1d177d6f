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

Button Ask(const Request& request) {
    if (CurrentHandler()) return CurrentHandler()(request);
    WriteToStandardError(request.text);
    return request.buttons.empty() ? Button::Ok : request.buttons.front();
}

void Show(const QString& text, Icon icon, const QString& details) {
    Ask({text, icon, details, {}, std::nullopt});
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
