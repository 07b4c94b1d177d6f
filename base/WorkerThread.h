#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

// Work done beside the thread that gives it: jobs run one after the other, in
// the order given, on a thread of their own. At most `waiting` jobs wait at a
// time, so that a giver faster than its jobs waits rather than piling up their
// data. A job that throws ends the work: the jobs after it are dropped, and the
// failure goes to the giver, rethrown by its next Post() or Wait(). Where no
// thread can be had, each job runs as it is given.
class WorkerThread {
  public:
    explicit WorkerThread(size_t waiting = 2);
    // Drops the jobs still waiting and waits for the one running.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Queues a job; rethrows the failure of an earlier one instead.
    void Post(std::function<void()> job);
    // Returns once every job given has run; rethrows the failure of one.
    void Wait();
    // Drops the jobs still waiting, waits for the one running and forgets a
    // failure: the giver begins its work again.
    void Discard();

  private:
    void Run();
    void RethrowFailure(std::unique_lock<std::mutex>& lock);

    const size_t waiting_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> jobs_;
    bool running_ = false;  // a job is running, taken off the queue
    bool stop_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};
