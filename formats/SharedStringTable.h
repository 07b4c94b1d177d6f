#pragma once

#include "Variant.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
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
    size_t size() const { return ends_.size(); }
    // The text at index (below size()), or nothing when it is longer than the
    // 32,767 characters a cell holds.
    std::optional<Variant> At(size_t index) const;

  private:
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
};
