#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class CodePageConverter;

// One BIFF record with the CONTINUE records that follow it, read as one stream of
// bytes. Every read checks its length against what the segments hold and throws
// Damaged instead of reading past them.
class BiffRecordReader {
  public:
    struct Damaged {
        const char* what;
    };

    explicit BiffRecordReader(std::vector<std::span<const uint8_t>> segments);

    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    double F64();
    void Skip(size_t count);
    size_t Remaining() const;
    bool AtEnd() const { return Remaining() == 0; }

    // BIFF8 strings: character count (8 or 16 bits), then an option byte; characters
    // continued in a CONTINUE record start with an option byte of their own.
    QString Biff8String(bool longCount);
    // The body of a BIFF8 string once count and option byte have been read.
    QString Biff8Chars(uint32_t count, uint8_t options);
    // BIFF5 strings: character count (8 or 16 bits), then bytes in the workbook's code page.
    QString Biff5String(bool longCount, CodePageConverter& codePage);

  private:
    void NextSegmentIfDone();
    std::vector<std::span<const uint8_t>> segments_;
    size_t segment_ = 0;
    size_t offset_ = 0;
    size_t remaining_ = 0;
};
