#include "TerminalProgress.h"

#include <unistd.h>

#include <cstdio>

TerminalProgress::TerminalProgress(QString what)
    : what_(std::move(what)), terminal_(isatty(STDERR_FILENO) == 1) {
    clock_.start();
}

TerminalProgress::~TerminalProgress() {
    if (shown_) std::fputs("\r\033[K", stderr);
}

MLanguageTransfer::ImportProgress TerminalProgress::Callback() {
    if (!terminal_) return {};
    return [this](int64_t done, int64_t total) {
        if (clock_.elapsed() < 1000) return true;
        const QString line = QStringLiteral("\r%1 \u2026 %2 von %3 Zeilen")
                                 .arg(what_, GermanNumber(done), GermanNumber(total));
        std::fputs(line.toUtf8().constData(), stderr);
        std::fflush(stderr);
        shown_ = true;
        return true;
    };
}
