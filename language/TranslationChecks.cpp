#include "TranslationChecks.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace TranslationChecks {
namespace {

using Text = std::string_view;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsWordChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }

// printf's conversion after its "%": flags, width, precision, length, then the
// conversion character; its length, 0 when there is none.
size_t PrintfLength(Text text, size_t i) {
    size_t j = i;
    while (j < text.size() && std::strchr("-+ #0", text[j]) && text[j] != '\0') ++j;
    while (j < text.size() && IsDigit(text[j])) ++j;
    if (j < text.size() && text[j] == '.')
        for (++j; j < text.size() && IsDigit(text[j]);) ++j;
    while (j < text.size() && std::strchr("hlLqjzt", text[j]) && text[j] != '\0') ++j;
    if (j < text.size() && text[j] != '\0' && std::strchr("diouxXeEfFgGaAcspn", text[j]))
        return j + 1 - i;
    return 0;
}

// The place markers: Qt's %1 to %99 (and %L1), printf's conversions, .NET's {0},
// {0:N2}, {0,5} and {name}; "%%", "{{" and "}}" are literals. Sorted, so that two
// texts compare as multisets.
std::vector<Text> Placeholders(Text text) {
    std::vector<Text> found;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if ((c == '%' && next == '%') || (c == '{' && next == '{') || (c == '}' && next == '}')) {
            ++i;
            continue;
        }
        if (c == '%') {
            if (const size_t length = PrintfLength(text, i + 1)) {
                found.push_back(text.substr(i, length + 1));
                i += length;
                continue;
            }
            size_t j = i + 1 + (next == 'L');
            const size_t digits = j;
            while (j < text.size() && j < digits + 2 && IsDigit(text[j])) ++j;
            if (j > digits) {
                found.push_back(text.substr(i, j - i));
                i = j - 1;
            }
        } else if (c == '{' && IsWordChar(next)) {
            size_t j = i + 1;
            while (j < text.size() && IsWordChar(text[j])) ++j;
            if (j < text.size() && (text[j] == ':' || text[j] == ','))
                while (j < text.size() && j < i + 64 && text[j] != '}' && text[j] != '{') ++j;
            if (j < text.size() && text[j] == '}') {
                found.push_back(text.substr(i, j + 1 - i));
                i = j;
            }
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// "&" before a character that is no blank; "&&" is a literal "&".
int Accelerators(Text text) {
    int count = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        if (text[i + 1] != ' ' && text[i + 1] != '\t' && text[i + 1] != '\n') ++count;
    }
    return count;
}

// "\r\n", "\n" and a lone "\r" are one line break each.
int Newlines(Text text) {
    int count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') ++count;
        if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) ++count;
    }
    return count;
}

// The tags in their order: "b" for <b ...>, "/b" for </b>, "br/" for <br/>.
std::vector<std::string> Tags(Text text) {
    std::vector<std::string> tags;
    for (size_t i = text.find('<'); i != Text::npos; i = text.find('<', i + 1)) {
        size_t j = i + 1;
        const bool closing = j < text.size() && text[j] == '/';
        if (closing) ++j;
        if (j >= text.size() || !IsLetter(text[j])) continue;
        const size_t name = j;
        while (j < text.size() && (IsWordChar(text[j]) || text[j] == ':' || text[j] == '-')) ++j;
        const size_t end = text.find_first_of("<>", j);
        if (end == Text::npos || text[end] != '>') continue;
        std::string tag(text.substr(name, j - name));
        std::transform(tag.begin(), tag.end(), tag.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
        if (closing) tag.insert(tag.begin(), '/');
        if (!closing && text[end - 1] == '/') tag.push_back('/');
        tags.push_back(std::move(tag));
        i = end;
    }
    return tags;
}

// The length of the whitespace character at text[i] (blank, tab, line break,
// no-break space), 0 for any other.
size_t WhitespaceAt(Text text, size_t i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') return 1;
    if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') return 2;
    return 0;
}

Text Leading(Text text) {
    size_t i = 0;
    while (i < text.size())
        if (const size_t n = WhitespaceAt(text, i))
            i += n;
        else
            break;
    return text.substr(0, i);
}

Text Trailing(Text text) {
    size_t end = text.size();
    while (end > 0) {
        if (WhitespaceAt(text, end - 1) == 1) {
            --end;
        } else if (end >= 2 && WhitespaceAt(text, end - 2) == 2) {
            end -= 2;
        } else {
            break;
        }
    }
    return text.substr(end);
}

// Whether both texts begin and end with the same whitespace (most have none).
bool SameEnds(Text a, Text b) {
    // A no-break space is C2 A0 in UTF-8.
    auto plain = [](char c) {
        return c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\xC2' && c != '\xA0';
    };
    const bool plainStart = plain(a.front()) && plain(b.front());
    const bool plainEnd = plain(a.back()) && plain(b.back());
    return (plainStart || Leading(a) == Leading(b)) && (plainEnd || Trailing(a) == Trailing(b));
}

size_t Characters(Text text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The class of the punctuation a text ends with, before trailing whitespace: the
// same class for the same mark in other scripts (full stop "." and "。"); 0 for
// none.
int EndingPunctuation(Text text, bool greek) {
    text.remove_suffix(Trailing(text).size());
    if (text.empty()) return 0;
    // Most texts end in a letter or digit: no mark of the list ends so.
    const char last = text.back();
    if ((last & 0x80) == 0 && !std::strchr(".:!?;", last)) return 0;
    struct Mark {
        Text utf8;
        int kind;
    };
    static const std::array<Mark, 14> marks{{{"...", 6},
                                             {"\xE2\x80\xA6", 6},  // …
                                             {".", 1},
                                             {"\xE3\x80\x82", 1},  // 。
                                             {":", 2},
                                             {"\xEF\xBC\x9A", 2},  // ：
                                             {"!", 3},
                                             {"\xEF\xBC\x81", 3},  // ！
                                             {"?", 4},
                                             {"\xEF\xBC\x9F", 4},  // ？
                                             {"\xCD\xBE", 4},      // Greek question mark
                                             {"\xD8\x9F", 4},      // Arabic question mark
                                             {";", 5},
                                             {"\xEF\xBC\x9B", 5}}};  // ；
    for (const Mark& mark : marks) {
        if (text.size() < mark.utf8.size() ||
            text.substr(text.size() - mark.utf8.size()) != mark.utf8)
            continue;
        return greek && mark.kind == 5 ? 4 : mark.kind;
    }
    return 0;
}

int Words(Text text) {
    int words = 0;
    bool inWord = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool blank = WhitespaceAt(text, i) > 0;
        if (!blank && !inWord) ++words;
        inWord = !blank;
    }
    return words;
}

// Which marks a text holds, found in one pass, so that most checks need not
// look at it again.
enum Mark : uint8_t {
    kPercent = 1,
    kBrace = 2,
    kAmpersand = 4,
    kAngle = 8,
    kLineBreak = 16,
};

uint8_t MarksOf(Text text) {
    static const auto kMarks = [] {
        std::array<uint8_t, 256> marks{};
        marks['%'] = kPercent;
        marks['{'] = marks['}'] = kBrace;
        marks['&'] = kAmpersand;
        marks['<'] = kAngle;
        marks['\r'] = marks['\n'] = kLineBreak;
        return marks;
    }();
    uint8_t marks = 0;
    for (const char c : text) marks |= kMarks[static_cast<unsigned char>(c)];
    return marks;
}

}  // namespace

Severity SeverityOf(Check check) {
    return check <= Check::Tags ? Severity::Error : Severity::Warning;
}

const char* Name(Check check) {
    static constexpr const char* kNames[] = {"placeholders", "accelerators", "newlines",
                                             "tags",         "whitespace",   "punctuation",
                                             "double-space", "unchanged",    "empty"};
    return kNames[static_cast<size_t>(check)];
}

QString GermanName(Check check) {
    static const QString kNames[] = {QStringLiteral("Platzhalter"),
                                     QStringLiteral("Zugriffstasten"),
                                     QStringLiteral("Zeilenumbrüche"),
                                     QStringLiteral("Tags"),
                                     QStringLiteral("Leerraum am Rand"),
                                     QStringLiteral("Satzzeichen am Ende"),
                                     QStringLiteral("doppeltes Leerzeichen"),
                                     QStringLiteral("unübersetzt"),
                                     QStringLiteral("leer")};
    return kNames[static_cast<size_t>(check)];
}

std::vector<Check> Compare(Text reference, Text translation, bool greek) {
    std::vector<Check> failed;
    if (reference.empty()) return failed;
    if (translation.empty()) return {Check::Empty};
    const uint8_t original = MarksOf(reference), translated = MarksOf(translation);
    const uint8_t marks = original | translated;
    if ((marks & (kPercent | kBrace)) && Placeholders(reference) != Placeholders(translation))
        failed.push_back(Check::Placeholders);
    if ((marks & kAmpersand) && Accelerators(reference) != Accelerators(translation))
        failed.push_back(Check::Accelerators);
    if ((marks & kLineBreak) && Newlines(reference) != Newlines(translation))
        failed.push_back(Check::Newlines);
    if ((marks & kAngle) && Tags(reference) != Tags(translation)) failed.push_back(Check::Tags);
    if (!SameEnds(reference, translation)) failed.push_back(Check::Whitespace);
    if (EndingPunctuation(reference, false) != EndingPunctuation(translation, greek) &&
        Characters(reference) > 4)
        failed.push_back(Check::Punctuation);
    if (translation.find("  ") != Text::npos && reference.find("  ") == Text::npos)
        failed.push_back(Check::DoubleSpace);
    if (translation == reference && Words(reference) >= 2) failed.push_back(Check::Unchanged);
    return failed;
}

}  // namespace TranslationChecks
