#include "SharedStringTable.h"

#include "CellText.h"
#include "RuntimeError.h"

#include <QDir>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>

#include <unistd.h>

namespace {

// What the file is written and read in: a megabyte of texts at a time.
constexpr size_t kPiece = size_t{1} << 20;
// The texts added at a time when the table is filled beside its reading.
constexpr size_t kStaged = 512, kFirstStaged = 16;

}  // namespace

SharedStringTable::SharedStringTable() = default;
SharedStringTable::~SharedStringTable() = default;

void SharedStringTable::FillBeside() { beside_ = true; }

void SharedStringTable::Add(std::string_view utf8) {
    if (!beside_) {
        AddText(utf8);
        return;
    }
    staged_.append(utf8);
    stagedEnds_.push_back(staged_.size());
    // The first texts at once: the sheet's first row waits for them.
    if (stagedEnds_.size() >= (published_ == 0 ? kFirstStaged : kStaged)) Publish();
}

void SharedStringTable::Publish() {
    {
        std::lock_guard lock(mutex_);
        if (abandoned_) throw RuntimeError::Cancelled();
        size_t begin = 0;
        for (const size_t end : stagedEnds_) {
            AddText(std::string_view(staged_).substr(begin, end - begin));
            begin = end;
        }
        published_ = ends_.size();
    }
    staged_.clear();
    stagedEnds_.clear();
    added_.notify_all();
}

void SharedStringTable::Finish() {
    if (!beside_) {
        FinishTexts();
        return;
    }
    Publish();
    {
        std::lock_guard lock(mutex_);
        FinishTexts();
        whole_ = true;
    }
    added_.notify_all();
}

void SharedStringTable::Fail(std::exception_ptr failure) {
    try {
        Publish();  // the texts before the failure are there to be read
    } catch (...) {
    }
    {
        std::lock_guard lock(mutex_);
        failure_ = failure;
        whole_ = true;
    }
    added_.notify_all();
}

void SharedStringTable::Abandon() {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
}

// A text added before the filling failed is there to be read; the failure
// comes to one asked for beyond it.
bool SharedStringTable::Has(size_t index) const {
    if (index < published_) return true;
    std::unique_lock lock(mutex_, std::defer_lock);
    if (beside_ && !whole_) {
        lock.lock();
        added_.wait(lock, [&] { return index < ends_.size() || whole_; });
    }
    if (index < ends_.size()) return true;
    if (failure_) std::rethrow_exception(failure_);
    return false;
}

std::optional<Variant> SharedStringTable::At(size_t index) const {
    if (!beside_ || whole_) return Text(index);
    std::lock_guard lock(mutex_);
    return Text(index);
}

void SharedStringTable::AddText(std::string_view utf8) {
    // Room for all the table keeps in memory at once, taken from the system
    // page by page as it fills: growing by doubling held the old and the new
    // bytes at once, 8 MB more at the peak of a large table.
    if (!file_ && bytes_.capacity() < kInMemoryBytes) bytes_.reserve(kInMemoryBytes + kPiece);
    bytes_.append(utf8);
    ends_.push_back(static_cast<uint32_t>(inFile_ + bytes_.size()));
    if (file_ ? bytes_.size() >= kPiece : !noFile_ && bytes_.size() > kInMemoryBytes) {
        if (!file_) ToFile();
        if (file_) Write();
    }
}

void SharedStringTable::FinishTexts() {
    if (!file_) return;
    Write();
    if (!file_->flush()) throw RuntimeError::DiskFull(file_->fileName());
    std::string().swap(bytes_);
}

// The texts so far move to a temporary file; none to be had keeps them here.
void SharedStringTable::ToFile() {
    auto file = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                 QStringLiteral("/quorvin-texts-XXXXXX"));
    if (file->open())
        file_ = std::move(file);
    else
        noFile_ = true;
}

void SharedStringTable::Write() {
    const auto size = static_cast<qint64>(bytes_.size());
    if (file_->write(bytes_.data(), size) != size) throw RuntimeError::DiskFull(file_->fileName());
    inFile_ += bytes_.size();
    bytes_.clear();  // keeps its memory for the next piece
    // Read beside the filling: what was written is read from the file at once.
    if (beside_ && !file_->flush()) throw RuntimeError::DiskFull(file_->fileName());
}

// The bytes from begin to end of all texts. Cells show the texts mostly in the
// table's order: a text just after the window, or after the text read last,
// moves the window on by a megabyte; one elsewhere is read alone, the window
// left where it is.
std::string_view SharedStringTable::Bytes(uint64_t begin, uint64_t end) const {
    const auto length = static_cast<size_t>(end - begin);
    if (!file_) return std::string_view(bytes_).substr(begin, length);
    // Filled beside: the texts after the last piece written are still here.
    if (begin >= inFile_) return std::string_view(bytes_).substr(begin - inFile_, length);
    const uint64_t windowEnd = windowStart_ + window_.size();
    if (begin >= windowStart_ && end <= windowEnd)
        return std::string_view(window_).substr(begin - windowStart_, length);
    const auto justAfter = [&](uint64_t at) { return begin >= at && begin < at + kPiece; };
    const bool onward = justAfter(windowEnd) || justAfter(lastEnd_);
    lastEnd_ = end;
    if (onward) {
        windowStart_ = begin;
        ReadAt(begin, std::max<size_t>(length, std::min<uint64_t>(kPiece, inFile_ - begin)),
               window_);
        return std::string_view(window_).substr(0, length);
    }
    ReadAt(begin, length, alone_);
    return alone_;
}

// Reads with one system call, not through the file's buffer: a text read alone
// costs that call only.
void SharedStringTable::ReadAt(uint64_t at, size_t size, std::string& into) const {
    into.resize(size);
    size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(file_->handle(), into.data() + done, size - done,
                                    static_cast<off_t>(at + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            into.clear();
            throw RuntimeError::FileUnreadable(file_->fileName());
        }
        done += static_cast<size_t>(got);
    }
}

std::optional<Variant> SharedStringTable::Text(size_t index) const {
    const uint64_t begin = index == 0 ? 0 : ends_[index - 1];
    const uint64_t end = ends_[index];
    Made* made = nullptr;
    if (end - begin >= kLongBytes) {
        made = &long_[index % long_.size()];
        if (made->index == index) return made->text;
    }
    const std::string_view utf8 = Bytes(begin, end);
    const auto size = static_cast<qsizetype>(utf8.size());
    std::optional<Variant> text;
    if (utf8.empty() || OoxmlEscaped(utf8))
        text = OoxmlUnescape(QString::fromUtf8(utf8.data(), size));
    else
        text = Variant::Utf8(QByteArray(utf8.data(), size));
    // A text longer than a cell holds fails the cells that show it: it has at
    // least a byte for each of its UTF-16 units.
    if (size > kMaxCellCharacters && text->TextSize() > kMaxCellCharacters) text.reset();
    if (made) *made = {index, text};
    return text;
}
