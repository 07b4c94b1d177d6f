#pragma once

#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

// Shows on standard error that long work goes on: after a second, the work's
// name and the seconds it has taken, once a second, on one line that is cleared
// at the end. Only when standard error is a terminal; on a pipe it writes nothing.
class ProgressTicker {
  public:
    explicit ProgressTicker(QString what);
    ~ProgressTicker();
    ProgressTicker(const ProgressTicker&) = delete;
    ProgressTicker& operator=(const ProgressTicker&) = delete;

  private:
    void Tick();

    QString what_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    bool shown_ = false;
    std::thread thread_;
};
