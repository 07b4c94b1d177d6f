#pragma once

#include "SourceTable.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringConverter>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class CodePageConverter;

// The encoding of a text file that another program saved (Excel, LibreOffice, an
// editor), found from its bytes or given by the user, and the file decoded.
namespace TextFileEncoding {

// Windows' numbers of the Unicode encodings, beside those of the code pages.
inline constexpr int kUtf8 = 65001;
inline constexpr int kUtf16LE = 1200;
inline constexpr int kUtf16BE = 1201;
inline constexpr int kUtf32LE = 12000;
inline constexpr int kUtf32BE = 12001;

struct Decoded {
    QByteArray utf8;  // the text, without its byte-order mark
    SourceReading reading;
};

// Decodes the bytes of a text file. With codePage 0 the encoding is found:
// - a byte-order mark names UTF-8, UTF-16 or UTF-32 (little or big endian);
// - zero bytes standing in every second place mark UTF-16 without one;
// - bytes that are UTF-8 throughout, or but for a few (at least two characters
//   of UTF-8 beyond ASCII for every invalid byte), are UTF-8;
// - any other file is in ansiCodePage, the ANSI code page of the language it
//   holds (what Excel in that language saves).
// With a codePage given the file is read in it, a byte-order mark of it skipped.
// In a file read as UTF-8 every invalid byte is read as ansiCodePage reads it and
// listed with its line, never dropped or turned into "?" unseen. Fails
// (RuntimeError) when a code page has no converter.
Decoded Decode(QByteArray bytes, int codePage, int ansiCodePage);

// The same for a file read a piece at a time: memory holds about a megabyte of
// it, whatever its size. Finding the encoding may read the file through once
// before the first piece. Pieces end between lines or fields, never inside a
// character.
class Stream {
  public:
    // device: open for reading, at the file's start.
    Stream(QIODevice& device, int codePage, int ansiCodePage);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // The next piece of the text as UTF-8; false at the end.
    bool Next(QByteArray& utf8);
    // The encoding, and the invalid bytes of the pieces read so far.
    SourceReading TakeReading() { return std::move(reading_); }

  private:
    int FromCensus(bool named, size_t markSize);
    bool ReadPiece(QByteArray& piece, bool unicode);
    void FromFaultyUtf8(const QByteArray& bytes, QByteArray& utf8);

    QIODevice& device_;
    int ansiCodePage_;
    SourceReading reading_;
    QByteArray carry_;  // read, for the next piece
    QByteArray piece_;  // the memory pieces are read into
    std::optional<QStringConverter::Encoding> unicode_;
    std::unique_ptr<CodePageConverter> converter_;
    bool faultyUtf8_ = false;
    bool first_ = true;
    int64_t line_ = 1;                    // the line a faulty UTF-8 file is read in
    std::array<QByteArray, 256> readAs_;  // the ANSI reading of each byte, made when met
};

// Checks that bytes arriving in pieces are UTF-8 throughout, a character split
// between two pieces included.
class Utf8Check {
  public:
    // False once the bytes so far are no UTF-8.
    bool Feed(QByteArrayView bytes);
    // False when the bytes end inside a character.
    bool Finish() const { return valid_ && pending_.isEmpty(); }

  private:
    QByteArray pending_;  // the start of a character that goes on in the next piece
    bool valid_ = true;
};

// The name users know an encoding by: "UTF-8", "UTF-16 LE", "Windows-1251".
QString Name(int codePage);

// The code page of an encoding as users write it: "UTF-8", "utf16", "Windows-1251",
// "cp1251", "1251", "Shift_JIS", "GBK", "Big5", "EUC-KR"; nothing for a name
// without a converter.
std::optional<int> CodePageNamed(const QString& name);

}  // namespace TextFileEncoding
