#include "XmlScanner.h"

#include "FileDamaged.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace {

// libxml2's bound on one piece of markup (a tag with its attributes, a comment,
// a section of character data) unless it is told to read huge documents.
constexpr size_t kMaxMarkup = 10000000;

constexpr bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// What a byte is to a name (bytes of characters beyond ASCII are taken as name
// characters): it may stand in one, it may begin one, it is the colon.
constexpr unsigned char kInName = 1, kBeginsName = 2, kColon = 4;
constexpr std::array<unsigned char, 256> kNameBytes = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80)
            table[c] = kInName | kBeginsName;
        else if ((c >= '0' && c <= '9') || c == '.' || c == '-')
            table[c] = kInName;
    }
    table[':'] = kInName | kBeginsName | kColon;
    return table;
}();

bool BeginsName(char c) { return (kNameBytes[static_cast<unsigned char>(c)] & kBeginsName) != 0; }

// The bytes of text that need more than being handed on: references, line
// ends to normalise, "]]>", characters XML does not allow (controls, and the
// U+FFFE and U+FFFF that begin with 0xEF).
constexpr std::array<bool, 256> kTextAttention = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = c != '\t' && c != '\n';
    table['&'] = table[']'] = table['<'] = table[0xEF] = true;
    return table;
}();

// The same for an attribute's value, whose white space becomes blanks.
constexpr std::array<bool, 256> kValueAttention = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = true;
    table['&'] = table['<'] = table[0xEF] = true;
    return table;
}();

// This and the readers of names and attributes are inlined into the loops over
// every tag and attribute (always_inline): their calls cost a tenth of the
// instructions of reading a sheet.
[[gnu::always_inline]] inline const char* SkipSpace(const char* p, const char* end) {
    while (p < end && IsSpace(*p)) ++p;
    return p;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

bool StartsWith(const char* p, const char* end, std::string_view prefix) {
    return static_cast<size_t>(end - p) >= prefix.size() &&
           std::memcmp(p, prefix.data(), prefix.size()) == 0;
}

// Whether the bytes there, all there are, begin `prefix`: more may make it.
bool CutShortOf(const char* p, const char* end, std::string_view prefix) {
    return static_cast<size_t>(end - p) < prefix.size() &&
           std::memcmp(p, prefix.data(), static_cast<size_t>(end - p)) == 0;
}

const char* Find(const char* p, const char* end, std::string_view what) {
    const char* found = std::search(p, end, what.begin(), what.end());
    return found == end ? nullptr : found;
}

// U+FFFE or U+FFFF at p (a 0xEF byte): no XML character.
bool NonCharacterAt(const char* p, const char* end) {
    return StartsWith(p, end, "\xEF\xBF\xBE") || StartsWith(p, end, "\xEF\xBF\xBF");
}

int LineEnds(const char* p, const char* end) {
    int count = 0;
    while (p < end) {
        p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!p) break;
        ++count, ++p;
    }
    return count;
}

constexpr bool IsXmlCharacter(uint32_t code) {
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

}  // namespace

XmlScanner::XmlScanner(XmlReader::Handler& handler, int maxDepth, XmlReader::Wording wording)
    : handler_(handler), maxDepth_(maxDepth), wording_(std::move(wording)) {}

bool XmlScanner::Reads(std::string_view beginning) {
    if (beginning.starts_with("\xEF\xBB\xBF")) beginning.remove_prefix(3);
    if (beginning.starts_with("\xFF\xFE") || beginning.starts_with("\xFE\xFF")) return false;
    if ((!beginning.empty() && beginning[0] == '\0') ||
        (beginning.size() > 1 && beginning[1] == '\0'))
        return false;
    if (!beginning.starts_with("<?xml") || beginning.size() < 6 || !IsSpace(beginning[5]))
        return true;
    const size_t close = beginning.find("?>");
    if (close == std::string_view::npos) return false;
    std::string_view declaration = beginning.substr(0, close);
    const size_t encoding = declaration.find("encoding");
    if (encoding == std::string_view::npos) return true;
    declaration.remove_prefix(encoding + 8);
    while (!declaration.empty() && (IsSpace(declaration[0]) || declaration[0] == '='))
        declaration.remove_prefix(1);
    if (declaration.empty() || (declaration[0] != '"' && declaration[0] != '\'')) return false;
    const size_t end = declaration.find(declaration[0], 1);
    if (end == std::string_view::npos) return false;
    const std::string name = Lower(declaration.substr(1, end - 1));
    return name == "utf-8" || name == "utf8";
}

int XmlScanner::Line() const {
    return 1 + lines_ + (lineFrom_ && at_ ? LineEnds(lineFrom_, at_) : 0);
}

void XmlScanner::Fail(const QString& reason) const {
    throw FileDamaged{QStringLiteral("Zeile %1: %2").arg(Line()).arg(reason)};
}

void XmlScanner::Malformed() const { Fail(QStringLiteral("fehlerhaftes XML")); }

void XmlScanner::BadCharacter() const {
    Fail(QStringLiteral("ein Zeichen, das die Kodierung der Datei nicht kennt"));
}

void XmlScanner::Feed(const char* data, size_t size) {
    if (pending_.empty()) {
        const size_t taken = Scan(data, data + size, false);
        pending_.assign(data + taken, size - taken);
    } else {
        pending_.append(data, size);
        // Markup cut short is read again once there is twice as much of it.
        if (pending_.size() < retryAt_) return;
        const size_t taken = Scan(pending_.data(), pending_.data() + pending_.size(), false);
        pending_.erase(0, taken);
    }
    if (pending_.size() > kMaxMarkup) Malformed();
    retryAt_ = pending_.size() > 65536 ? 2 * pending_.size() : 0;
}

void XmlScanner::Finish() {
    const size_t taken = Scan(pending_.data(), pending_.data() + pending_.size(), true);
    pending_.erase(0, taken);
    if (!rootEnded_) Fail(wording_.endsEarly);
}

size_t XmlScanner::Scan(const char* begin, const char* end, bool last) {
    const char* p = begin;
    lineFrom_ = at_ = begin;
    struct Counted {  // the line ends of what was taken, counted once the scan ends however
        XmlScanner& scanner;
        const char*& p;
        ~Counted() {
            scanner.lines_ += LineEnds(scanner.lineFrom_, p);
            scanner.lineFrom_ = scanner.at_ = nullptr;
        }
    } counted{*this, p};
    if (!started_) {
        if (!last && end - p < 9) return 0;  // a byte-order mark, "<?xml "
        if (StartsWith(p, end, "\xEF\xBB\xBF")) p += 3;
        started_ = true;
        if (StartsWith(p, end, "<?xml") && end - p > 5 && IsSpace(p[5])) {
            const char* close = Find(p, end, "?>");
            if (!close) {
                if (last) Fail(wording_.endsEarly);
                if (static_cast<size_t>(end - p) > kMaxMarkup) Malformed();
                started_ = false;
                return 0;
            }
            Declaration(p + 5, close);
            at_ = p = close + 2;
        }
    }
    while (p < end) {
        if (*p != '<') {
            const char* lt =
                static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
            const char* textEnd = lt ? lt : end;
            at_ = textEnd;
            const size_t taken = Text(p, textEnd, last || lt);
            at_ = p += taken;
            if (p != textEnd) break;
            continue;
        }
        const char* next = nullptr;
        if (end - p >= 2) {
            if (p[1] == '/')
                next = EndTag(p, end);
            else if (p[1] == '?')
                next = ProcessingInstruction(p, end);
            else if (p[1] == '!')
                next = Special(p, end);
            else
                next = StartTag(p, end);
        }
        if (!next) {
            at_ = end;
            if (last) Fail(wording_.endsEarly);
            break;
        }
        at_ = p = next;
    }
    return static_cast<size_t>(p - begin);
}

size_t XmlScanner::Text(const char* p, const char* end, bool complete) {
    if (openEnds_.empty()) {
        // Before and after the root element only white space may stand.
        if (!std::all_of(p, end, IsSpace)) Malformed();
        return static_cast<size_t>(end - p);
    }
    const char* upTo = end;
    if (!complete) {
        // Held back for the next piece: a reference, a line end, "]]" or a
        // character cut short.
        for (int i = 0; i < 3 && upTo > p; ++i) {
            const unsigned char c = static_cast<unsigned char>(upTo[-1]);
            if (c < 0x80 && c != ']' && c != '\r') break;
            --upTo;
        }
        const char* amp = upTo;
        for (const char* q = upTo; q > p && upTo - q < 64;) {
            --q;
            if (*q == ';') break;
            if (*q == '&') {
                amp = q;
                break;
            }
        }
        upTo = amp;
    }
    Characters(p, upTo, false);
    return static_cast<size_t>(upTo - p);
}

void XmlScanner::Characters(const char* p, const char* end, bool cdata) {
    if (p == end) return;
    const char* q = p;
    while (q < end && !kTextAttention[static_cast<unsigned char>(*q)]) ++q;
    if (q == end) {
        handler_.Text(std::string_view(p, static_cast<size_t>(end - p)));
        return;
    }
    std::string& out = scratch_;
    out.assign(p, q);
    while (q < end) {
        const char c = *q;
        const unsigned char u = static_cast<unsigned char>(c);
        if (!kTextAttention[u]) {
            out += c;
            ++q;
        } else if (c == '&' && !cdata) {
            q = Reference(q, end, out);
        } else if (c == '\r') {
            out += '\n';
            q += (q + 1 < end && q[1] == '\n') ? 2 : 1;
        } else if (c == ']' && !cdata && StartsWith(q, end, "]]>")) {
            Malformed();
        } else if (u < 0x20 || (u == 0xEF && NonCharacterAt(q, end))) {
            BadCharacter();
        } else {
            out += c;  // '&' and ']' in character data, '<' cannot come here, other 0xEF
            ++q;
        }
    }
    handler_.Text(out);
}

const char* XmlScanner::Reference(const char* p, const char* end, std::string& out) {
    const char* semicolon = static_cast<const char*>(
        std::memchr(p, ';', static_cast<size_t>(std::min<ptrdiff_t>(end - p, 64))));
    if (!semicolon) Malformed();
    const std::string_view name(p + 1, static_cast<size_t>(semicolon - p - 1));
    if (name.starts_with('#')) {
        const bool hex = name.size() > 1 && name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty()) Malformed();
        uint32_t code = 0;
        for (char c : digits) {
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0) Malformed();
            code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
            if (code > 0x10FFFF) break;
        }
        if (!IsXmlCharacter(code)) BadCharacter();
        const char32_t character[] = {code};
        out += QString::fromUcs4(character, 1).toStdString();
    } else if (name == "amp") {
        out += '&';
    } else if (name == "lt") {
        out += '<';
    } else if (name == "gt") {
        out += '>';
    } else if (name == "quot") {
        out += '"';
    } else if (name == "apos") {
        out += '\'';
    } else {
        if (name.empty() || !BeginsName(name[0]) ||
            !std::all_of(name.begin(), name.end(),
                         [](char c) { return kNameBytes[static_cast<unsigned char>(c)] != 0; }))
            Malformed();
        Fail(QStringLiteral("eine unbekannte Entität"));
    }
    return semicolon + 1;
}

[[gnu::always_inline]] inline const char* XmlScanner::RequiredName(const char* p, const char* end,
                                                                   bool& colon) const {
    const char* nameEnd = Name(p, end, colon);
    if (nameEnd == p) Malformed();
    return nameEnd;
}

[[gnu::always_inline]] inline const char* XmlScanner::Name(const char* p, const char* end,
                                                           bool& colon) const {
    if (p == end) return nullptr;
    unsigned char seen = kNameBytes[static_cast<unsigned char>(*p)];
    if (!(seen & kBeginsName)) return p;
    ++p;
    for (unsigned char kind; p < end && (kind = kNameBytes[static_cast<unsigned char>(*p)]) != 0;
         ++p)
        seen |= kind;
    colon = (seen & kColon) != 0;
    return p == end ? nullptr : p;
}

[[gnu::always_inline]] inline std::string_view XmlScanner::LocalName(const char* begin,
                                                                     const char* end,
                                                                     bool colon) const {
    if (!colon) return std::string_view(begin, static_cast<size_t>(end - begin));
    return LocalName(begin, end);
}

std::string_view XmlScanner::LocalName(const char* begin, const char* end) const {
    const char* colon = nullptr;
    for (const char* p = begin; p < end; ++p) {
        if (*p != ':') continue;
        if (colon) Malformed();  // a name has one prefix at most
        colon = p;
    }
    if (!colon) return std::string_view(begin, static_cast<size_t>(end - begin));
    // A prefix and a local name, each a name without a colon.
    if (colon == begin || colon + 1 == end || !BeginsName(colon[1])) Malformed();
    return std::string_view(colon + 1, static_cast<size_t>(end - colon - 1));
}

void XmlScanner::CheckCharacters(const char* p, const char* end) const {
    for (; p < end; ++p) {
        const unsigned char u = static_cast<unsigned char>(*p);
        if ((u < 0x20 && !IsSpace(*p)) || (u == 0xEF && NonCharacterAt(p, end))) BadCharacter();
    }
}

// The declaration's pseudo-attributes, in their order: the version, which
// must be there, the encoding and whether the document stands alone.
void XmlScanner::Declaration(const char* p, const char* end) const {
    const char* const names[] = {"version", "encoding", "standalone"};
    size_t next = 0;
    bool any = false;
    for (;;) {
        const char* before = p;
        p = SkipSpace(p, end);
        if (p == end) break;
        if (p == before) Malformed();
        RawAttribute attribute;
        p = Attribute(p, end, attribute);
        if (!p) Malformed();
        size_t which = next;
        while (which < 3 && attribute.name != names[which]) ++which;
        if (which == 3 || (which > 0 && !any)) Malformed();
        const std::string_view value = attribute.value;
        const bool valid =
            which == 0 ? value.size() > 2 && value.starts_with("1.") &&
                             std::all_of(value.begin() + 2, value.end(),
                                         [](char c) { return c >= '0' && c <= '9'; })
            : which == 1 ? !value.empty() && std::isalpha(static_cast<unsigned char>(value[0])) &&
                               std::all_of(value.begin(), value.end(),
                                           [](char c) {
                                               return std::isalnum(static_cast<unsigned char>(c)) ||
                                                      c == '.' || c == '_' || c == '-';
                                           })
                         : value == "yes" || value == "no";
        if (!valid) Malformed();
        any = true;
        next = which + 1;
    }
    if (!any) Malformed();
}

const char* XmlScanner::StartTag(const char* p, const char* end) {
    const char* name = p + 1;
    bool colon = false;
    const char* nameEnd = RequiredName(name, end, colon);
    if (!nameEnd) return nullptr;
    bool empty = false;
    const char* q = Attributes(nameEnd, end, empty);
    if (!q) return nullptr;
    if (static_cast<size_t>(q - p) > kMaxMarkup) Malformed();
    at_ = q;
    if (rootEnded_) Malformed();  // a second root
    if (static_cast<int>(openEnds_.size()) >= maxDepth_)
        Fail(QStringLiteral("mehr als %1 Ebenen geschachtelt").arg(maxDepth_));
    const std::string_view local = LocalName(name, nameEnd, colon);
    ReadAttributes();
    open_.append(name, nameEnd);
    openEnds_.push_back(open_.size());
    handler_.StartElement(local, {}, attributes_.data(), attributeCount_);
    if (empty) Close(local);
    return q;
}

const char* XmlScanner::Attributes(const char* q, const char* end, bool& empty) {
    rawCount_ = 0;
    for (;;) {
        const char* before = q;
        q = SkipSpace(q, end);
        if (q == end) return nullptr;
        if (*q == '>') return q + 1;
        if (*q == '/') {
            if (q + 1 == end) return nullptr;
            if (q[1] != '>') Malformed();
            empty = true;
            return q + 2;
        }
        if (q == before) Malformed();  // attributes stand apart
        if (rawCount_ == raws_.size()) raws_.resize(2 * rawCount_ + 8);
        q = Attribute(q, end, raws_[rawCount_]);
        if (!q) return nullptr;
        ++rawCount_;
    }
}

[[gnu::always_inline]] inline const char* XmlScanner::Attribute(const char* q, const char* end,
                                                                RawAttribute& attribute) const {
    const char* name = q;
    bool colon = false;
    q = RequiredName(q, end, colon);
    if (!q) return nullptr;
    const char* nameEnd = q;
    if (*q != '=') q = SkipSpace(q, end);  // most write name="value"
    if (q == end) return nullptr;
    if (*q != '=') Malformed();
    ++q;
    if (q < end && *q != '"' && *q != '\'') q = SkipSpace(q, end);
    if (q == end) return nullptr;
    if (*q != '"' && *q != '\'') Malformed();
    const char quote = *q;
    const char* value = q + 1;
    bool plain = true;
    for (q = value; q < end && *q != quote; ++q)
        plain = plain && !kValueAttention[static_cast<unsigned char>(*q)];
    if (q == end) return nullptr;
    attribute = {std::string_view(name, static_cast<size_t>(nameEnd - name)),
                 std::string_view(value, static_cast<size_t>(q - value)), plain, colon};
    return q + 1;
}

void XmlScanner::ReadAttributes() {
    // Each name once; declarations of namespaces are no attributes.
    scratch_.clear();
    spans_.clear();
    if (attributes_.size() < rawCount_) attributes_.resize(rawCount_);
    attributeCount_ = 0;
    for (size_t i = 0; i < rawCount_; ++i) {
        const RawAttribute& raw = raws_[i];
        for (size_t j = 0; j < i; ++j)
            if (raw.name == raws_[j].name) Malformed();
        const std::string_view local =
            LocalName(raw.name.data(), raw.name.data() + raw.name.size(), raw.colon);
        const bool declaration =
            raw.name.starts_with("xmlns") && (raw.name.size() == 5 || raw.name[5] == ':');
        if (raw.plain) {
            if (!declaration) attributes_[attributeCount_++] = {local, raw.value};
            continue;
        }
        // Read even where it is not handed on: its references and characters must be sound.
        const size_t from = scratch_.size();
        AttributeValue(raw.value);
        if (declaration) {
            scratch_.resize(from);
            continue;
        }
        spans_.push_back({attributeCount_, from, scratch_.size() - from});
        attributes_[attributeCount_++] = {local, {}};
    }
    // The values read are views into scratch_ once it is whole.
    for (const Span& span : spans_)
        attributes_[span.attribute].value =
            std::string_view(scratch_.data() + span.value, span.valueSize);
}

// A value with its references read and its white space as blanks, into scratch_.
void XmlScanner::AttributeValue(std::string_view value) {
    const char* end = value.data() + value.size();
    for (const char* v = value.data(); v < end;) {
        const char c = *v;
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '&') {
            v = Reference(v, end, scratch_);
            continue;
        }
        if (c == '<') Malformed();
        if (c == '\r' && v + 1 < end && v[1] == '\n') ++v;
        if (IsSpace(c))
            scratch_ += ' ';
        else if (u < 0x20 || (u == 0xEF && NonCharacterAt(v, end)))
            BadCharacter();
        else
            scratch_ += c;
        ++v;
    }
}

size_t XmlScanner::InnermostFrom() const {
    return openEnds_.size() > 1 ? openEnds_[openEnds_.size() - 2] : 0;
}

void XmlScanner::Close(std::string_view local) {
    open_.resize(InnermostFrom());
    openEnds_.pop_back();
    if (openEnds_.empty()) rootEnded_ = true;
    handler_.EndElement(local);
}

const char* XmlScanner::EndTag(const char* p, const char* end) {
    const char* name = p + 2;
    // Most end tags name the innermost element as its start tag did and end
    // at once: compared as they stand (the name was read at the start tag).
    if (!openEnds_.empty()) {
        const std::string_view open = std::string_view(open_).substr(InnermostFrom());
        const size_t size = open.size();
        if (static_cast<size_t>(end - name) > size && name[size] == '>' &&
            std::memcmp(name, open.data(), size) == 0) {
            const char* after = name + size + 1;
            at_ = after;
            const auto* colon = static_cast<const char*>(std::memchr(name, ':', size));
            Close(colon ? std::string_view(colon + 1, static_cast<size_t>(name + size - colon - 1))
                        : std::string_view(name, size));
            return after;
        }
    }
    bool colon = false;
    const char* nameEnd = RequiredName(name, end, colon);
    if (!nameEnd) return nullptr;
    const char* q = nameEnd;
    q = SkipSpace(q, end);
    if (q == end) return nullptr;
    if (*q != '>') Malformed();
    ++q;
    at_ = q;
    if (openEnds_.empty()) Malformed();
    if (std::string_view(open_).substr(InnermostFrom()) !=
        std::string_view(name, static_cast<size_t>(nameEnd - name)))
        Malformed();
    Close(LocalName(name, nameEnd, colon));
    return q;
}

const char* XmlScanner::ProcessingInstruction(const char* p, const char* end) {
    const char* target = p + 2;
    bool colon = false;
    const char* q = RequiredName(target, end, colon);
    if (!q) return nullptr;
    // A declaration anywhere but at the start.
    if (Lower(std::string_view(target, static_cast<size_t>(q - target))) == "xml") Malformed();
    const char* close = Find(q, end, "?>");
    if (!close) return nullptr;
    if (close != q && !IsSpace(*q)) Malformed();
    CheckCharacters(q, close);
    return close + 2;
}

const char* XmlScanner::Special(const char* p, const char* end) {
    if (StartsWith(p, end, "<!--")) {
        // The first "--" ends the comment, and must be followed by '>'.
        const char* dashes = Find(p + 4, end, "--");
        if (!dashes || dashes + 2 == end) return nullptr;
        if (dashes[2] != '>') Malformed();
        CheckCharacters(p + 4, dashes);
        return dashes + 3;
    }
    if (StartsWith(p, end, "<![CDATA[")) {
        const char* close = Find(p + 9, end, "]]>");
        if (!close) return nullptr;
        if (openEnds_.empty()) Malformed();
        at_ = close + 3;
        Characters(p + 9, close, true);
        return close + 3;
    }
    if (StartsWith(p, end, "<!DOCTYPE")) Fail(wording_.dtd);
    if (CutShortOf(p, end, "<!--") || CutShortOf(p, end, "<![CDATA[") ||
        CutShortOf(p, end, "<!DOCTYPE"))
        return nullptr;
    Malformed();
}
