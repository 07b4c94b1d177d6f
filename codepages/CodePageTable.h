#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// One Windows ANSI code page as Windows converts it, read from Microsoft's
// published table (bestfitNNN.txt, in the program's resources):
// Encode is WideCharToMultiByte with flags 0 (best fit where the table knows a
// similar character, the code page's default character "?" for the rest),
// Decode is MultiByteToWideChar (a byte or byte pair the table does not list
// becomes the code page's Unicode default character).
class CodePageTable {
  public:
    // The table of a code page, read once per process; null when there is none
    // (a code page that is no Windows ANSI code page).
    static const CodePageTable* Find(int codePage);

    int Number() const { return number_; }
    bool IsDoubleByte() const { return doubleByte_; }
    QByteArray Encode(const QString& text) const;
    QString Decode(const char* data, size_t size) const;

  private:
    CodePageTable() = default;
    // Reads a table in the published text format. Fails (RuntimeError) when
    // the text is no complete table.
    static std::unique_ptr<CodePageTable> Parse(const QByteArray& text);
    struct Parser;  // reads the text's sections into a table

    static constexpr char16_t kUnlisted = 0xFFFF;  // no character for the bytes
    static constexpr uint16_t kNoBytes = 0xFFFF;   // no bytes for the character

    int number_ = 0;
    bool doubleByte_ = false;
    char defaultByte_ = '?';
    char16_t defaultUnit_ = u'?';
    std::array<char16_t, 256> byteToUnit_{};
    std::array<int16_t, 256> leadIndex_{};  // -1: no lead byte
    std::vector<std::array<char16_t, 256>> trailToUnit_;
    std::vector<uint16_t> unitToBytes_;  // (lead << 8) | trail, or the single byte
};
