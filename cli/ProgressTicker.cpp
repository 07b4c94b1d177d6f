#include "ProgressTicker.h"

#include <QLocale>

#include <unistd.h>

#include <cstdio>

ProgressTicker::ProgressTicker(QString what)
    : what_(std::move(what)), terminal_(isatty(STDERR_FILENO) == 1) {
    clock_.start();
}

ProgressTicker::~ProgressTicker() {
    if (shown_) std::fputs("\r\033[K", stderr);
}

MLanguageTransfer::ImportProgress ProgressTicker::Callback() {
    if (!terminal_) return {};
    return [this](int64_t done, int64_t total) {
        if (clock_.elapsed() < 1000) return true;
        const QLocale german(QLocale::German, QLocale::Germany);
        const QString line = QStringLiteral("\r%1 \u2026 %2 von %3 Zeilen")
                                 .arg(what_, german.toString(static_cast<qlonglong>(done)),
                                      german.toString(static_cast<qlonglong>(total)));
        std::fputs(line.toUtf8().constData(), stderr);
        std::fflush(stderr);
        shown_ = true;
        return true;
    };
}
