#pragma once

#include "Variant.h"

#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QTemporaryFile;

// A workbook's table of texts (its shared strings), kept as their UTF-8 one
// after the other and an offset each: a workbook of millions of tiny texts costs
// their bytes and four bytes each, not a string each. Beyond a few megabytes the
// bytes go to a temporary file and are read back a window at a time, so that a
// million texts cost what a few thousand do; cells show them mostly in the
// table's order. A text is made each time a cell shows it: its UTF-8 as it
// stands, or when it holds escapes a QString with them read;
// long ones are kept once made, a few at a time, so that a sheet showing one
// long text in every cell does not make it again for each.
//
// The table may be filled on one thread while cells are read on another
// (FillBeside()): a cell that asks for a text not yet added waits for it, and
// learns what the filling failed with.
class SharedStringTable {
  public:
    // The texts beyond this many bytes go to the temporary file.
    static constexpr size_t kInMemoryBytes = size_t{8} << 20;

    SharedStringTable();
    ~SharedStringTable();
    SharedStringTable(const SharedStringTable&) = delete;
    SharedStringTable& operator=(const SharedStringTable&) = delete;

    // Adds the next text; RuntimeError (disk full) when the temporary file cannot
    // be written. No temporary file to be had keeps the texts in memory.
    void Add(std::string_view utf8);
    // The last text was added.
    void Finish();
    // The texts added so far.
    size_t size() const { return ends_.size() + stagedEnds_.size(); }

    // From now on the table is filled on another thread than the one that reads it.
    void FillBeside();
    // The filling failed with failure: no more texts come.
    void Fail(std::exception_ptr failure);
    // The reading wants no more texts: the filling's next Add() fails with
    // RuntimeError::Cancelled().
    void Abandon();

    // Whether the table has a text at index; filled beside, it waits for the
    // text or the end of the filling, and fails with what the filling failed with.
    bool Has(size_t index) const;
    // The text at index (Has() it), or nothing when it is longer than the 32,767
    // characters a cell holds.
    std::optional<Variant> At(size_t index) const;

  private:
    void AddText(std::string_view utf8);
    void Publish();
    void FinishTexts();
    std::optional<Variant> Text(size_t index) const;
    void ToFile();
    void Write();
    std::string_view Bytes(uint64_t begin, uint64_t end) const;
    void ReadAt(uint64_t at, size_t size, std::string& into) const;

    // All texts, or with a file the ones not yet written to it.
    std::string bytes_;
    // Where each text ends among all texts: the part that holds them is bounded
    // far below 4 GiB (16 million texts cost 64 MB, not 128).
    std::vector<uint32_t> ends_;
    std::unique_ptr<QTemporaryFile> file_;
    uint64_t inFile_ = 0;  // the bytes written to it
    bool noFile_ = false;  // none could be made
    // The file's bytes read last: [windowStart_, windowStart_ + window_.size()).
    mutable std::string window_;
    mutable uint64_t windowStart_ = 0;
    mutable std::string alone_;     // a text read out of the table's order
    mutable uint64_t lastEnd_ = 0;  // the end of the text read from the file last

    // Texts of at least kLongBytes, made once, by index modulo the slots.
    static constexpr size_t kLongBytes = 1024;
    struct Made {
        size_t index = SIZE_MAX;
        std::optional<Variant> text;
    };
    mutable std::array<Made, 64> long_;

    // Filled beside: the filling and the reading share the texts under the lock.
    // The filling adds them a few hundred at a time, so that the reading seldom
    // finds the lock taken.
    bool beside_ = false;
    std::string staged_;  // texts not yet added, one after the other
    std::vector<size_t> stagedEnds_;
    std::atomic<size_t> published_ = 0;  // the texts added
    std::atomic<bool> whole_ = false;    // filled beside, and finished or failed
    bool abandoned_ = false;
    std::exception_ptr failure_;
    mutable std::mutex mutex_;
    mutable std::condition_variable added_;
};
