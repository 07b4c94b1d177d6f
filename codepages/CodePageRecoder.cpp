#include "CodePageRecoder.h"

#include "CodePageTable.h"

#include <QString>

#include <algorithm>
#include <cstring>

std::unique_ptr<CodePageRecoder> CodePageRecoder::For(int writingPage, int readingPage) {
    const CodePageTable* writing = CodePageTable::Find(writingPage);
    const CodePageTable* reading = CodePageTable::Find(readingPage);
    if (!writing || !reading || reading->IsDoubleByte()) return nullptr;
    return std::unique_ptr<CodePageRecoder>(new CodePageRecoder(*writing, *reading));
}

CodePageRecoder::CodePageRecoder(const CodePageTable& writing, const CodePageTable& reading)
    : writing_(writing), reading_(reading), forms_(0x10000) {}

const CodePageRecoder::Form& CodePageRecoder::FormOf(char32_t character) {
    Form& form = character > 0xFFFF ? beyondBmp_ : forms_[character];
    if (form.length != kUnknown) return form;
    // Made by hand: QString::fromUcs4 would take U+FEFF for a byte order mark and drop it.
    const QChar pair[] = {QChar(QChar::highSurrogate(character)),
                          QChar(QChar::lowSurrogate(character))};
    const QString text =
        character > 0xFFFF ? QString(pair, 2) : QString(QChar(static_cast<char16_t>(character)));
    const QByteArray bytes = writing_.Encode(text);
    const QString read = reading_.Decode(bytes.constData(), static_cast<size_t>(bytes.size()));
    // Read in the same page, the read text is the writing page's own answer.
    form.held = writing_.Number() == reading_.Number()
                    ? read == text
                    : writing_.Decode(bytes.constData(), static_cast<size_t>(bytes.size())) == text;
    const QByteArray utf8 = read.toUtf8();
    std::copy(utf8.begin(), utf8.end(), form.utf8.begin());
    form.length = static_cast<uint8_t>(utf8.size());
    return form;
}

namespace {

bool Continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

CodePageRecoder::Result CodePageRecoder::Recode(const char* utf8, size_t size, QByteArray& out,
                                                std::vector<char32_t>* lost) {
    // Mostly a character keeps its length; one may grow to two characters of three bytes each.
    constexpr qsizetype kLongestForm = 6;
    static_assert(std::tuple_size_v<decltype(Form::utf8)> == kLongestForm);
    out.resize(static_cast<qsizetype>(size) + kLongestForm);
    qsizetype written = 0;
    char* base = out.data();
    bool held = true;
    const auto* at = reinterpret_cast<const unsigned char*>(utf8);
    const auto* end = at + size;
    while (at < end) {
        const unsigned char lead = *at;
        char32_t character = 0;
        size_t length = 0;
        if (lead < 0x80) {
            character = lead;
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            if (end - at < 2 || !Continuation(at[1])) return Result::NotPlain;
            character = (char32_t{lead} & 0x1F) << 6 | (at[1] & 0x3F);
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (end - at < 3 || !Continuation(at[1]) || !Continuation(at[2]))
                return Result::NotPlain;
            character =
                (char32_t{lead} & 0x0F) << 12 | char32_t{at[1] & 0x3Fu} << 6 | (at[2] & 0x3F);
            // Overlong forms and halves of surrogate pairs are no characters.
            if (character < 0x800 || (character >= 0xD800 && character <= 0xDFFF))
                return Result::NotPlain;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (end - at < 4 || !Continuation(at[1]) || !Continuation(at[2]) ||
                !Continuation(at[3]))
                return Result::NotPlain;
            character = (char32_t{lead} & 0x07) << 18 | char32_t{at[1] & 0x3Fu} << 12 |
                        char32_t{at[2] & 0x3Fu} << 6 | (at[3] & 0x3F);
            if (character < 0x10000 || character > 0x10FFFF) return Result::NotPlain;
        } else {
            return Result::NotPlain;
        }
        at += length;
        const Form& known = character <= 0xFFFF ? forms_[character] : beyondBmp_;
        const Form& form = known.length != kUnknown ? known : FormOf(character);
        if (!form.held) {
            held = false;
            if (lost) lost->push_back(character);
        }
        if (written + kLongestForm > out.size()) {
            out.resize(out.size() * 2);
            base = out.data();
        }
        // The whole form fits (checked above); copying a fixed size is a few moves,
        // not a call for every character.
        std::memcpy(base + written, form.utf8.data(), kLongestForm);
        written += form.length;
    }
    out.truncate(written);
    return held ? Result::Held : Result::Lost;
}
