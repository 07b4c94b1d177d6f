#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class CodePageTable;
struct UConverter;

// The converter of one code page, kept for many texts. The Windows ANSI code
// pages convert exactly as Windows does, from Microsoft's tables (CodePageTable:
// best fit, then "?"); any other code page (a workbook may name one) through
// ICU, where characters the code page lacks become "?". For single-byte pages
// ICU's answer for each character is remembered, so converting many texts costs
// a table look-up per character either way.
class CodePageConverter {
  public:
    // Fails (RuntimeError) when there is neither a table nor an ICU converter.
    explicit CodePageConverter(int codePage);
    ~CodePageConverter();
    CodePageConverter(const CodePageConverter&) = delete;
    CodePageConverter& operator=(const CodePageConverter&) = delete;

    int Number() const { return codePage_; }
    QByteArray Encode(const QString& text);
    QString Decode(const char* data, size_t size);

    static bool Exists(int codePage);

  private:
    QByteArray EncodeWithIcu(const QString& text);
    QString DecodeWithIcu(const char* data, size_t size);
    char EncodeUnit(char16_t unit);
    bool ReadyToDecodeBytes();

    int codePage_;
    const CodePageTable* table_;
    UConverter* converter_ = nullptr;
    bool singleByte_ = false;
    std::vector<int16_t> unitToByte_;  // -1: not asked yet
    std::array<char16_t, 256> byteToUnit_{};
    enum class Table { Unknown, Ready, Unusable } byteTable_ = Table::Unknown;
};
