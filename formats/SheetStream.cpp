#include "SheetStream.h"

#include "RuntimeError.h"

void SheetStream::Header(const Cells& cells, bool rowsFollow) {
    {
        std::lock_guard lock(mutex_);
        header_ = cells;
        headerKnown_ = true;
        rowsFollow_ = rowsFollow && !abandoned_;
    }
    changed_.notify_all();
}

void SheetStream::Row(const Cells& cells) {
    ++read_;
    std::unique_lock lock(mutex_);
    if (!rowsFollow_ && !cancelled_) return;
    changed_.wait(lock, [this] { return sink_ || left_ || cancelled_; });
    if (cancelled_) throw RuntimeError::Cancelled();
    if (sink_ && !ended_) sink_->Add(cells);
}

void SheetStream::EndSink() {
    if (!sink_ || ended_) return;
    ended_ = true;
    sink_->End(failure_, abandoned_);
}

void SheetStream::Abandon() {
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
        rowsFollow_ = false;
        EndSink();
    }
    changed_.notify_all();
}

void SheetStream::Finish(std::exception_ptr failure) {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        failure_ = failure;
        EndSink();
    }
    changed_.notify_all();
}

std::optional<SheetStream::Cells> SheetStream::Header() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return headerKnown_ || finished_ || abandoned_; });
    if (!rowsFollow_ || abandoned_) return std::nullopt;
    return header_;
}

void SheetStream::Attach(Sink* sink) {
    {
        std::lock_guard lock(mutex_);
        sink_ = sink;
        ended_ = false;
        if (finished_ || abandoned_) EndSink();
    }
    changed_.notify_all();
}

void SheetStream::Leave() {
    {
        std::lock_guard lock(mutex_);
        sink_ = nullptr;
        left_ = true;
    }
    changed_.notify_all();
}

void SheetStream::Cancel() {
    {
        std::lock_guard lock(mutex_);
        sink_ = nullptr;
        left_ = true;
        cancelled_ = true;
    }
    changed_.notify_all();
}
