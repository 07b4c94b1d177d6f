#pragma once

#include "FileDamaged.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class CodePageConverter;

// One BIFF record with the CONTINUE records that follow it, read as one stream of
// bytes. Every read checks its length against what the segments hold and throws
// FileDamaged instead of reading past them.
class BiffRecordReader {
  public:
    // Where the reader stands: a segment, the offset in it, and the bytes from there on.
    struct Position {
        uint32_t segment = 0;
        uint32_t offset = 0;
        size_t remaining = 0;
    };

    // The segments must outlive the reader.
    explicit BiffRecordReader(std::span<const std::span<const uint8_t>> segments);
    // Reading from a position an earlier reader of the same segments stood at.
    BiffRecordReader(std::span<const std::span<const uint8_t>> segments, Position at);

    Position Where() const {
        return {static_cast<uint32_t>(segment_), static_cast<uint32_t>(offset_), remaining_};
    }

    uint8_t U8();
    uint16_t U16() { return Fixed<uint16_t>(); }
    uint32_t U32() { return Fixed<uint32_t>(); }
    double F64();
    void Skip(size_t count);
    size_t Remaining() const;
    bool AtEnd() const { return Remaining() == 0; }

    // BIFF8 strings: character count (8 or 16 bits), then an option byte; characters
    // continued in a CONTINUE record start with an option byte of their own.
    QString Biff8String(bool longCount);
    // The body of a BIFF8 string once count and option byte have been read.
    QString Biff8Chars(uint32_t count, uint8_t options);
    // Moves past a BIFF8 string, checking what Biff8String checks, without
    // making its text.
    void SkipBiff8String(bool longCount);
    // BIFF5 strings: character count (8 or 16 bits), then bytes in the workbook's code page.
    QString Biff5String(bool longCount, CodePageConverter& codePage);

  private:
    // A little-endian integer, read straight from the segment when it lies in one.
    template <typename T>
    T Fixed() {
        if (segment_ < segments_.size() && segments_[segment_].size() - offset_ >= sizeof(T)) {
            const uint8_t* p = segments_[segment_].data() + offset_;
            T value = 0;
            for (size_t i = 0; i < sizeof(T); ++i)
                value = static_cast<T>(value | (T{p[i]} << (8 * i)));
            offset_ += sizeof(T);
            remaining_ -= sizeof(T);
            NextSegmentIfDone();
            return value;
        }
        T value = 0;
        for (size_t i = 0; i < sizeof(T); ++i) value = static_cast<T>(value | (T{U8()} << (8 * i)));
        return value;
    }
    // Moves past segments read to their end; most reads stay inside one.
    void NextSegmentIfDone() {
        if (segment_ < segments_.size() && offset_ < segments_[segment_].size()) return;
        NextSegment();
    }
    void NextSegment();
    // Reads a BIFF8 string's characters, handing each run of them within one
    // segment to take(bytes, count, wide).
    template <typename Take>
    void Biff8Runs(uint32_t count, uint8_t options, Take take);
    // Reads a BIFF8 string's header, hands count and options to body, which
    // reads the characters, then moves past its formatting runs and extension.
    template <typename Body>
    void Biff8StringWith(bool longCount, Body body);

    std::span<const std::span<const uint8_t>> segments_;
    size_t segment_ = 0;
    size_t offset_ = 0;
    size_t remaining_ = 0;
};
