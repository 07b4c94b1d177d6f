#include "WorkerThread.h"

#include "VectorRegisters.h"

#include <system_error>
#include <utility>

WorkerThread::WorkerThread(size_t waiting) : waiting_(waiting > 0 ? waiting : 1) {
    try {
        thread_ = std::thread([this] {
            VectorRegisters::ClearUpperHalves();
            Run();
        });
    } catch (const std::system_error&) {
        // No thread to be had: Post runs each job itself.
    }
}

WorkerThread::~WorkerThread() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        jobs_.clear();
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void WorkerThread::RethrowFailure(std::unique_lock<std::mutex>& lock) {
    if (!failure_) return;
    std::exception_ptr failure = std::exchange(failure_, nullptr);
    lock.unlock();
    std::rethrow_exception(failure);
}

void WorkerThread::Post(std::function<void()> job) {
    if (!thread_.joinable()) {
        job();
        return;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return failure_ || jobs_.size() < waiting_; });
    RethrowFailure(lock);
    jobs_.push_back(std::move(job));
    lock.unlock();
    changed_.notify_all();
}

void WorkerThread::Wait() {
    if (!thread_.joinable()) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return jobs_.empty() && !running_; });
    RethrowFailure(lock);
}

void WorkerThread::Discard() {
    if (!thread_.joinable()) return;
    std::unique_lock lock(mutex_);
    jobs_.clear();
    changed_.wait(lock, [&] { return !running_; });
    failure_ = nullptr;
}

void WorkerThread::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
        if (stop_) return;
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        running_ = true;
        lock.unlock();
        changed_.notify_all();  // room for another job
        std::exception_ptr failure;
        try {
            job();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        running_ = false;
        if (failure) {
            failure_ = failure;
            jobs_.clear();
        }
        changed_.notify_all();
    }
}
