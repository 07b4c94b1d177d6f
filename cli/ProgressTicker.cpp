#include "ProgressTicker.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

ProgressTicker::ProgressTicker(QString what) : what_(std::move(what)) {
    if (isatty(STDERR_FILENO)) thread_ = std::thread([this] { Tick(); });
}

ProgressTicker::~ProgressTicker() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    done_.notify_all();
    thread_.join();
    if (shown_) std::fputs("\r\033[K", stderr);
}

void ProgressTicker::Tick() {
    using namespace std::chrono_literals;
    std::unique_lock lock(mutex_);
    if (done_.wait_for(lock, 1s, [this] { return finished_; })) return;
    for (int seconds = 1;; ++seconds) {
        std::fprintf(stderr, "\r%s \u2026 %d s", what_.toLocal8Bit().constData(), seconds);
        std::fflush(stderr);
        shown_ = true;
        if (done_.wait_for(lock, 1s, [this] { return finished_; })) return;
    }
}
