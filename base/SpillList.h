#pragma once

#include "SpillCoding.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <cstddef>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A list of report entries whose number is the source's (a million texts that
// lose characters, a million findings): it holds a batch of entries in memory
// and writes each full batch to a temporary file of its own, so that memory
// does not grow with the list. Entries go to the file through SpillOut and
// SpillIn of T (see SpillCoding). Reading walks the file from its start, so
// iterating is fast and an index beyond the batch in memory costs a read of the
// entries before it. When no temporary file can be made, the list stays in memory.
template <typename T>
class SpillList {
  public:
    static constexpr size_t kBatch = 4096;

    SpillList() = default;
    SpillList(const SpillList& other) {
        for (const T& entry : other) push_back(entry);
    }
    SpillList& operator=(const SpillList& other) {
        if (this != &other) {
            SpillList copy(other);
            *this = std::move(copy);
        }
        return *this;
    }
    SpillList(SpillList&& other) noexcept { Take(other); }
    SpillList& operator=(SpillList&& other) noexcept {
        if (this != &other) Take(other);
        return *this;
    }

    size_t size() const { return spilled_ + memory_.size(); }
    bool empty() const { return size() == 0; }
    void clear() { *this = SpillList(); }

    // The entry added; valid until the next one is added.
    T& emplace_back(T entry) {
        if (memory_.size() >= kBatch && !inMemoryOnly_) Spill();
        memory_.push_back(std::move(entry));
        return memory_.back();
    }
    void push_back(T entry) { emplace_back(std::move(entry)); }

    // Reads entries in their order; each iterator reads the file on its own.
    class const_iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;

        const_iterator() = default;
        const_iterator(const SpillList* list, size_t index) : list_(list), index_(index) {
            if (list_ && index_ < list_->spilled_) {
                file_ = std::make_shared<QFile>(list_->file_->fileName());
                file_->open(QIODevice::ReadOnly);
                reader_ = std::make_shared<SpillReader>(*file_);
                Load();
            }
        }
        const T& operator*() const {
            return index_ < list_->spilled_ ? current_ : list_->memory_[index_ - list_->spilled_];
        }
        const T* operator->() const { return &**this; }
        const_iterator& operator++() {
            ++index_;
            if (index_ < list_->spilled_) Load();
            return *this;
        }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }

      private:
        void Load() { SpillIn(*reader_, current_); }

        const SpillList* list_ = nullptr;
        size_t index_ = 0;
        std::shared_ptr<QFile> file_;
        std::shared_ptr<SpillReader> reader_;
        T current_{};
    };

    const_iterator begin() const {
        if (file_) file_->flush();
        return {this, 0};
    }
    const_iterator end() const { return {this, size()}; }

    T operator[](size_t index) const {
        if (index >= spilled_) return memory_[index - spilled_];
        auto at = begin();
        for (size_t i = 0; i < index; ++i) ++at;
        return *at;
    }
    T front() const { return (*this)[0]; }
    // The entry added last, which is always in memory; the list must not be empty.
    const T& back() const { return memory_.back(); }

    // Keeps the entries for which drop says false, in their order.
    template <typename Drop>
    void RemoveIf(Drop drop) {
        if (spilled_ == 0) {
            std::erase_if(memory_, drop);
            return;
        }
        SpillList kept;
        for (const T& entry : *this)
            if (!drop(entry)) kept.push_back(entry);
        *this = std::move(kept);
    }

  private:
    void Take(SpillList& other) {
        memory_ = std::move(other.memory_);
        other.memory_.clear();
        batch_ = std::move(other.batch_);
        file_ = std::move(other.file_);
        spilled_ = std::exchange(other.spilled_, 0);
        inMemoryOnly_ = std::exchange(other.inMemoryOnly_, false);
    }

    void Spill() {
        if (!file_) {
            auto file = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                         QStringLiteral("/quorvin-report-XXXXXX"));
            if (!file->open()) {
                inMemoryOnly_ = true;
                return;
            }
            file_ = std::move(file);
        }
        batch_.clear();  // keeps its memory for the next batch
        SpillWriter out(batch_);
        for (const T& entry : memory_) SpillOut(out, entry);
        if (file_->write(batch_.data(), static_cast<qint64>(batch_.size())) !=
            static_cast<qint64>(batch_.size())) {
            // A full disk: the batches written stay readable, the rest stays here.
            inMemoryOnly_ = true;
            return;
        }
        spilled_ += memory_.size();
        memory_.clear();
    }

    std::vector<T> memory_;  // the entries after the spilled ones
    std::unique_ptr<QTemporaryFile> file_;
    std::string batch_;  // a batch as written, kept for the next one
    size_t spilled_ = 0;
    bool inMemoryOnly_ = false;
};
