#include "TextFileEncoding.h"

#include "CodePage.h"
#include "CodePageConverter.h"

#include <QBuffer>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace TextFileEncoding {
namespace {

using Bytes = const unsigned char*;

// The length of the well-formed UTF-8 sequence at p (1 to 4); 0 when none
// starts there (no overlong forms, no surrogates, nothing beyond U+10FFFF); -1
// when the bytes end inside one that is well-formed so far.
int SequenceAt(Bytes p, size_t left) {
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    const size_t available = std::min<size_t>(left, static_cast<size_t>(length));
    if (available > 1 && (p[1] < low || p[1] > high)) return 0;
    for (size_t i = 2; i < available; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    return available < static_cast<size_t>(length) ? -1 : length;
}

// The place of the first byte beyond ASCII from i on, eight bytes at a time.
size_t SkipAscii(Bytes p, size_t i, size_t size) {
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, sizeof word);
        if (word & 0x8080808080808080ull) break;
    }
    while (i < size && p[i] < 0x80) ++i;
    return i;
}

struct Utf8Census {
    size_t wide = 0;     // well-formed sequences beyond ASCII
    size_t invalid = 0;  // bytes that begin none, and a sequence cut off at the end
};

Utf8Census CountUtf8(Bytes p, size_t size) {
    Utf8Census census;
    for (size_t i = 0; i < size;) {
        i = SkipAscii(p, i, size);
        if (i == size) break;
        const int length = SequenceAt(p + i, size - i);
        if (length < 0) {
            ++census.invalid;  // one character cut off at the end of the file
            break;
        }
        if (length == 0) {
            ++census.invalid;
            ++i;
        } else {
            ++census.wide;
            i += static_cast<size_t>(length);
        }
    }
    return census;
}

struct Mark {
    const char* bytes;
    size_t size;
    int codePage;
};
// UTF-32 LE first: its mark begins with the one of UTF-16 LE.
constexpr Mark kMarks[] = {{"\xFF\xFE\0\0", 4, kUtf32LE},
                           {"\0\0\xFE\xFF", 4, kUtf32BE},
                           {"\xEF\xBB\xBF", 3, kUtf8},
                           {"\xFF\xFE", 2, kUtf16LE},
                           {"\xFE\xFF", 2, kUtf16BE}};

const Mark* MarkOf(Bytes p, size_t size) {
    for (const Mark& mark : kMarks)
        if (size >= mark.size && std::memcmp(p, mark.bytes, mark.size) == 0) return &mark;
    return nullptr;
}

// UTF-16 without a mark: text files hold no zero bytes but UTF-16 ones, where
// every character of ASCII has one, in the high byte's place.
int Utf16ByZeros(Bytes p, size_t size) {
    size_t even = 0, odd = 0;
    const size_t looked = std::min<size_t>(size, 65536) & ~size_t{1};
    for (size_t i = 0; i < looked; i += 2) {
        even += p[i] == 0;
        odd += p[i + 1] == 0;
    }
    if (odd > 0 && even * 4 <= odd) return kUtf16LE;
    if (even > 0 && odd * 4 <= even) return kUtf16BE;
    return 0;
}

constexpr size_t kPiece = size_t{1} << 20;

}  // namespace

bool Utf8Check::Feed(QByteArrayView bytes) {
    if (!valid_) return false;
    if (!pending_.isEmpty()) {
        // The character split between the pieces, completed from the new one.
        const qsizetype take = std::min<qsizetype>(bytes.size(), 4 - pending_.size());
        const QByteArray joined = pending_ + bytes.first(take).toByteArray();
        const int length = SequenceAt(reinterpret_cast<Bytes>(joined.constData()),
                                      static_cast<size_t>(joined.size()));
        if (length == 0) return valid_ = false;
        if (length < 0) {
            pending_ = joined;
            return true;
        }
        bytes = bytes.sliced(length - pending_.size());
        pending_.clear();
    }
    auto p = reinterpret_cast<Bytes>(bytes.data());
    const auto size = static_cast<size_t>(bytes.size());
    for (size_t i = 0; i < size;) {
        i = SkipAscii(p, i, size);
        if (i == size) break;
        // Two-byte characters (Cyrillic, Greek, the umlauts) here, the others below.
        if (p[i] >= 0xC2 && p[i] <= 0xDF && i + 1 < size && (p[i + 1] & 0xC0) == 0x80) {
            i += 2;
            continue;
        }
        const int length = SequenceAt(p + i, size - i);
        if (length == 0) return valid_ = false;
        if (length < 0) {
            pending_ =
                QByteArray(reinterpret_cast<const char*>(p + i), static_cast<qsizetype>(size - i));
            break;
        }
        i += static_cast<size_t>(length);
    }
    return true;
}

Stream::Stream(QIODevice& device, int codePage, int ansiCodePage)
    : device_(device), ansiCodePage_(ansiCodePage) {
    const QByteArray head = device_.peek(65536);
    auto p = reinterpret_cast<Bytes>(head.constData());
    const auto size = static_cast<size_t>(head.size());
    const Mark* mark = MarkOf(p, size);
    size_t markSize = 0;
    if (codePage != 0) {
        markSize = mark && mark->codePage == codePage ? mark->size : 0;
    } else if (mark) {
        codePage = mark->codePage;
        markSize = mark->size;
    } else if (const int utf16 = Utf16ByZeros(p, size)) {
        codePage = utf16;
    }
    device_.skip(static_cast<qint64>(markSize));
    if (codePage == 0 || codePage == kUtf8) codePage = FromCensus(codePage == kUtf8, markSize);
    reading_.encoding = Name(codePage);
    switch (codePage) {
        case kUtf8:
            break;
        case kUtf16LE:
            unicode_ = QStringConverter::Utf16LE;
            break;
        case kUtf16BE:
            unicode_ = QStringConverter::Utf16BE;
            break;
        case kUtf32LE:
            unicode_ = QStringConverter::Utf32LE;
            break;
        case kUtf32BE:
            unicode_ = QStringConverter::Utf32BE;
            break;
        default:
            converter_ = std::make_unique<CodePageConverter>(codePage);
            reading_.ansi = true;
            break;
    }
}

Stream::~Stream() = default;

// Reads the text once to count its UTF-8: clean UTF-8 is handed on as it
// stands; a few invalid bytes among many characters of UTF-8 are read in the
// ANSI code page; more make the file one of that code page, unless the user
// named UTF-8.
int Stream::FromCensus(bool named, size_t markSize) {
    Utf8Census census;
    QByteArray piece;
    while (ReadPiece(piece, false)) {
        const Utf8Census more = CountUtf8(reinterpret_cast<Bytes>(piece.constData()),
                                          static_cast<size_t>(piece.size()));
        census.wide += more.wide;
        census.invalid += more.invalid;
    }
    device_.seek(static_cast<qint64>(markSize));
    carry_.clear();
    if (census.invalid == 0) return kUtf8;
    faultyUtf8_ = true;
    if (named || census.wide >= 2 * census.invalid) return kUtf8;
    faultyUtf8_ = false;
    return ansiCodePage_;
}

// The next piece of the file's bytes: about a megabyte, ending after a byte
// below 0x40 (an ASCII byte that is no part of a character of UTF-8 or of a
// double-byte code page), or for UTF-16 and UTF-32 between code units and never
// inside a surrogate pair.
bool Stream::ReadPiece(QByteArray& piece, bool unicode) {
    // Into the memory the piece had: a fresh megabyte for every piece cost the
    // page faults of mapping it, half the time of reading a large file.
    const qsizetype carried = carry_.size();
    piece.resize(std::max(static_cast<qsizetype>(kPiece), carried));
    if (carried > 0) std::memcpy(piece.data(), carry_.constData(), static_cast<size_t>(carried));
    carry_.resize(0);
    qsizetype size = carried;
    if (const qint64 wanted = static_cast<qint64>(kPiece) - carried; wanted > 0) {
        const qint64 got = device_.read(piece.data() + carried, wanted);
        if (got > 0) size += static_cast<qsizetype>(got);
    }
    piece.resize(size);
    if (piece.isEmpty()) return false;
    if (device_.atEnd()) return true;
    auto p = reinterpret_cast<Bytes>(piece.constData());
    size_t end = static_cast<size_t>(piece.size());
    if (unicode) {
        const bool utf16 =
            unicode_ == QStringConverter::Utf16LE || unicode_ == QStringConverter::Utf16BE;
        end -= end % (utf16 ? 2 : 4);
        if (utf16 && end >= 2) {
            const unsigned high = unicode_ == QStringConverter::Utf16LE ? p[end - 1] : p[end - 2];
            if ((high & 0xFC) == 0xD8) end -= 2;  // a high surrogate waits for its partner
        }
    } else {
        size_t cut = end;
        while (cut > 0 && p[cut - 1] >= 0x40) --cut;
        if (cut == 0) {
            // A megabyte without one (no text is that long): at least never
            // inside a character of UTF-8, before the last one's first byte.
            cut = end - 1;
            while (cut > 0 && end - cut < 4 && (p[cut] & 0xC0) == 0x80) --cut;
        }
        if (cut > 0) end = cut;
    }
    carry_.append(piece.constData() + end, piece.size() - static_cast<qsizetype>(end));
    piece.resize(static_cast<qsizetype>(end));
    return true;
}

bool Stream::Next(QByteArray& utf8) {
    utf8.resize(0);  // keeps its memory, which the next piece may take
    QByteArray& piece = piece_;
    if (!ReadPiece(piece, unicode_.has_value())) return false;
    if (unicode_) {
        QStringDecoder decoder(*unicode_, first_ ? QStringConverter::Flag::Stateless
                                                 : QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
        utf8 = QString(decoder(piece)).toUtf8();
    } else if (converter_) {
        utf8 = converter_->Decode(piece.constData(), static_cast<size_t>(piece.size())).toUtf8();
    } else if (faultyUtf8_) {
        FromFaultyUtf8(piece, utf8);
    } else {
        utf8.swap(piece);  // the caller's buffer becomes the next piece's
    }
    first_ = false;
    return true;
}

// The bytes as UTF-8, each invalid byte read in the ANSI code page and listed with its line.
void Stream::FromFaultyUtf8(const QByteArray& bytes, QByteArray& utf8) {
    auto p = reinterpret_cast<Bytes>(bytes.constData());
    const auto size = static_cast<size_t>(bytes.size());
    utf8.reserve(bytes.size() + 64);
    size_t from = 0;
    for (size_t i = 0; i < size;) {
        if (p[i] < 0x80) {
            line_ += p[i] == '\n';
            ++i;
            continue;
        }
        const int length = SequenceAt(p + i, size - i);
        if (length > 0) {
            i += static_cast<size_t>(length);
            continue;
        }  // an invalid byte, or a character cut off at the end
        utf8.append(reinterpret_cast<const char*>(p + from), static_cast<qsizetype>(i - from));
        QByteArray& character = readAs_[p[i]];
        if (character.isEmpty())
            character =
                CodePage::Decode(QByteArray(1, static_cast<char>(p[i])), ansiCodePage_).toUtf8();
        utf8 += character;
        reading_.invalidBytes.push_back({line_, p[i], QString::fromUtf8(character)});
        from = ++i;
    }
    utf8.append(reinterpret_cast<const char*>(p + from), static_cast<qsizetype>(size - from));
}

Decoded Decode(QByteArray bytes, int codePage, int ansiCodePage) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    Stream stream(buffer, codePage, ansiCodePage);
    Decoded decoded;
    QByteArray piece;
    while (stream.Next(piece)) decoded.utf8 += piece;
    decoded.reading = stream.TakeReading();
    return decoded;
}

QString Name(int codePage) {
    switch (codePage) {
        case kUtf8:
            return QStringLiteral("UTF-8");
        case kUtf16LE:
            return QStringLiteral("UTF-16 LE");
        case kUtf16BE:
            return QStringLiteral("UTF-16 BE");
        case kUtf32LE:
            return QStringLiteral("UTF-32 LE");
        case kUtf32BE:
            return QStringLiteral("UTF-32 BE");
        case 932:
            return QStringLiteral("Shift-JIS (Windows-932)");
        default:
            return QStringLiteral("Windows-%1").arg(codePage);
    }
}

std::optional<int> CodePageNamed(const QString& name) {
    QString key = name.trimmed().toLower();
    key.remove(QLatin1Char('-')).remove(QLatin1Char('_')).remove(QLatin1Char(' '));
    struct Known {
        const char* name;
        int codePage;
    };
    static constexpr Known kKnown[] = {
        {"utf8", kUtf8},     {"utf16", kUtf16LE},   {"utf16le", kUtf16LE}, {"utf16be", kUtf16BE},
        {"utf32", kUtf32LE}, {"utf32le", kUtf32LE}, {"utf32be", kUtf32BE}, {"shiftjis", 932},
        {"sjis", 932},       {"gbk", 936},          {"gb2312", 936},       {"big5", 950},
        {"euckr", 949},      {"ksc56011987", 949},  {"ansi", 1252},
    };
    for (const Known& known : kKnown)
        if (key == QLatin1String(known.name)) return known.codePage;
    for (const char* prefix : {"windows", "cp", "ibm"})
        if (key.startsWith(QLatin1String(prefix))) key.remove(0, qsizetype(std::strlen(prefix)));
    bool ok = false;
    const int number = key.toInt(&ok);
    if (!ok || number <= 0) return std::nullopt;
    for (int unicode : {kUtf8, kUtf16LE, kUtf16BE, kUtf32LE, kUtf32BE})
        if (number == unicode) return number;
    if (!CodePageConverter::Exists(number)) return std::nullopt;
    return number;
}

}  // namespace TextFileEncoding
