#pragma once

#include <mutex>
#include <utility>
#include <vector>

// Buffers that a worker thread hands back once it is done with them, for the
// next batch of the thread that fills them: their memory is taken once, not
// fresh for every batch (a fresh megabyte costs its pages again).
template <typename T>
class SparePool {
  public:
    // A buffer handed back, or a new one.
    T Take() {
        std::lock_guard lock(mutex_);
        if (spare_.empty()) return T{};
        T buffer = std::move(spare_.back());
        spare_.pop_back();
        return buffer;
    }
    // The buffer, emptied by the caller, for the next Take().
    void Give(T buffer) {
        std::lock_guard lock(mutex_);
        spare_.push_back(std::move(buffer));
    }

  private:
    std::mutex mutex_;
    std::vector<T> spare_;
};
