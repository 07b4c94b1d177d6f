#include "SharedStringTable.h"

#include "CellText.h"
#include "RuntimeError.h"

#include <QDir>
#include <QTemporaryFile>

#include <algorithm>

namespace {

// What the file is written and read in: a megabyte of texts at a time.
constexpr size_t kPiece = size_t{1} << 20;

}  // namespace

SharedStringTable::SharedStringTable() = default;
SharedStringTable::~SharedStringTable() = default;

void SharedStringTable::Add(std::string_view utf8) {
    bytes_.append(utf8);
    ends_.push_back(static_cast<uint32_t>(inFile_ + bytes_.size()));
    if (file_ ? bytes_.size() >= kPiece : !noFile_ && bytes_.size() > kInMemoryBytes) {
        if (!file_) ToFile();
        if (file_) Write();
    }
}

void SharedStringTable::Finish() {
    if (!file_) return;
    Write();
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
}

// The bytes from begin to end of all texts.
std::string_view SharedStringTable::Bytes(uint64_t begin, uint64_t end) const {
    const auto length = static_cast<size_t>(end - begin);
    if (!file_) return std::string_view(bytes_).substr(begin, length);
    if (begin < windowStart_ || end > windowStart_ + window_.size()) {
        window_.resize(std::max<size_t>(
            length, static_cast<size_t>(std::min<uint64_t>(kPiece, inFile_ - begin))));
        windowStart_ = begin;
        if (!file_->seek(static_cast<qint64>(begin)) ||
            file_->read(window_.data(), static_cast<qint64>(window_.size())) !=
                static_cast<qint64>(window_.size())) {
            window_.clear();
            throw RuntimeError::FileUnreadable(file_->fileName());
        }
    }
    return std::string_view(window_).substr(begin - windowStart_, length);
}

std::optional<QString> SharedStringTable::At(size_t index) const {
    const uint64_t begin = index == 0 ? 0 : ends_[index - 1];
    const uint64_t end = ends_[index];
    Made* made = nullptr;
    if (end - begin >= kLongBytes) {
        made = &long_[index % long_.size()];
        if (made->index == index) return made->text;
    }
    const std::string_view utf8 = Bytes(begin, end);
    std::optional<QString> text =
        OoxmlUnescape(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    // A text longer than a cell holds fails the cells that show it.
    if (text->size() > kMaxCellCharacters) text.reset();
    if (made) *made = {index, text};
    return text;
}
