#include "TextFileEncoding.h"

#include "CodePage.h"
#include "CodePageConverter.h"

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

// The bytes as UTF-8, each invalid byte read in the ANSI code page and listed.
Decoded FromUtf8(Bytes p, size_t size, int ansiCodePage) {
    Decoded decoded;
    decoded.reading.encoding = Name(kUtf8);
    Utf8Census census = CountUtf8(p, size);
    if (census.invalid == 0) {
        decoded.utf8 = QByteArray(reinterpret_cast<const char*>(p), static_cast<qsizetype>(size));
        return decoded;
    }
    std::array<QByteArray, 256> readAs;  // the ANSI reading of each byte, made when met
    decoded.utf8.reserve(static_cast<qsizetype>(size + census.invalid * 2));
    int64_t line = 1;
    size_t from = 0;
    for (size_t i = 0; i < size;) {
        if (p[i] < 0x80) {
            line += p[i] == '\n';
            ++i;
            continue;
        }
        const int length = SequenceAt(p + i, size - i);
        if (length > 0) {
            i += static_cast<size_t>(length);
            continue;
        }  // an invalid byte, or a character cut off at the end
        decoded.utf8.append(reinterpret_cast<const char*>(p + from),
                            static_cast<qsizetype>(i - from));
        QByteArray& character = readAs[p[i]];
        if (character.isEmpty())
            character =
                CodePage::Decode(QByteArray(1, static_cast<char>(p[i])), ansiCodePage).toUtf8();
        decoded.utf8 += character;
        decoded.reading.invalidBytes.push_back({line, p[i], QString::fromUtf8(character)});
        from = ++i;
    }
    decoded.utf8.append(reinterpret_cast<const char*>(p + from),
                        static_cast<qsizetype>(size - from));
    return decoded;
}

// UTF-16 or UTF-32, decoded a megabyte at a time, so that the file's text is
// never held as UTF-16 whole beside its bytes and its UTF-8. Pieces end between
// code units and never between the two halves of a surrogate pair; a U+FEFF at
// the start of a later piece is a character, not a byte-order mark.
Decoded FromUnicode(QStringConverter::Encoding encoding, int codePage, Bytes p, size_t size) {
    const bool utf16 =
        encoding == QStringConverter::Utf16LE || encoding == QStringConverter::Utf16BE;
    const size_t unit = utf16 ? 2 : 4;
    constexpr size_t kPiece = size_t{1} << 20;
    Decoded decoded;
    decoded.reading.encoding = Name(codePage);
    decoded.utf8.reserve(static_cast<qsizetype>(size / unit));
    for (size_t at = 0; at < size;) {
        size_t end = size - at > kPiece ? at + kPiece : size;
        if (end < size && utf16) {
            const size_t last = end - 2;
            const unsigned high = encoding == QStringConverter::Utf16LE ? p[last + 1] : p[last];
            if ((high & 0xFC) == 0xD8) end = last;  // a high surrogate waits for its partner
        }
        QStringDecoder decoder(encoding, at == 0 ? QStringConverter::Flag::Stateless
                                                 : QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
        decoded.utf8 +=
            QString(decoder(QByteArrayView(p + at, static_cast<qsizetype>(end - at)))).toUtf8();
        at = end;
    }
    return decoded;
}

Decoded FromCodePage(int codePage, Bytes p, size_t size) {
    CodePageConverter converter(codePage);
    Decoded decoded;
    decoded.utf8 = converter.Decode(reinterpret_cast<const char*>(p), size).toUtf8();
    decoded.reading.encoding = Name(codePage);
    decoded.reading.ansi = true;
    return decoded;
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

Decoded Read(int codePage, Bytes p, size_t size, int ansiCodePage) {
    switch (codePage) {
        case kUtf8:
            return FromUtf8(p, size, ansiCodePage);
        case kUtf16LE:
            return FromUnicode(QStringConverter::Utf16LE, codePage, p, size);
        case kUtf16BE:
            return FromUnicode(QStringConverter::Utf16BE, codePage, p, size);
        case kUtf32LE:
            return FromUnicode(QStringConverter::Utf32LE, codePage, p, size);
        case kUtf32BE:
            return FromUnicode(QStringConverter::Utf32BE, codePage, p, size);
        default:
            return FromCodePage(codePage, p, size);
    }
}

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

Decoded Decode(QByteArray bytes, int codePage, int ansiCodePage) {
    auto p = reinterpret_cast<Bytes>(bytes.constData());
    auto size = static_cast<size_t>(bytes.size());
    const Mark* mark = MarkOf(p, size);
    // UTF-8 without a fault is the text as it stands: the file's own bytes, so
    // that a large file is not held twice.
    auto asItStands = [&](size_t markSize) {
        Decoded decoded;
        decoded.reading.encoding = Name(kUtf8);
        bytes.remove(0, static_cast<qsizetype>(markSize));
        decoded.utf8 = std::move(bytes);
        return decoded;
    };
    if (codePage != 0) {
        const size_t markSize = mark && mark->codePage == codePage ? mark->size : 0;
        if (codePage == kUtf8 && CountUtf8(p + markSize, size - markSize).invalid == 0)
            return asItStands(markSize);
        return Read(codePage, p + markSize, size - markSize, ansiCodePage);
    }
    if (mark) {
        if (mark->codePage == kUtf8 && CountUtf8(p + mark->size, size - mark->size).invalid == 0)
            return asItStands(mark->size);
        return Read(mark->codePage, p + mark->size, size - mark->size, ansiCodePage);
    }
    if (const int utf16 = Utf16ByZeros(p, size)) return Read(utf16, p, size, ansiCodePage);
    const Utf8Census census = CountUtf8(p, size);
    if (census.invalid == 0) return asItStands(0);
    if (census.wide >= 2 * census.invalid) return FromUtf8(p, size, ansiCodePage);
    return FromCodePage(ansiCodePage, p, size);
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
