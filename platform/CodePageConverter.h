#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct UConverter;

// One ICU converter for one Windows code page, kept open for many texts.
// Characters that the code page lacks become "?", as Windows substitutes them.
// For single-byte code pages ICU's answer for each character is remembered, so
// converting many texts costs a table look-up per character.
class CodePageConverter {
  public:
    // Fails (RuntimeError) when ICU has no converter for the code page.
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
    UConverter* converter_;
    bool singleByte_ = false;
    std::vector<int16_t> unitToByte_;  // -1: not asked yet
    std::array<char16_t, 256> byteToUnit_{};
    enum class Table { Unknown, Ready, Unusable } byteTable_ = Table::Unknown;
};
