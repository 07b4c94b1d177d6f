#pragma once

#include <QByteArray>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CodePageTable;

// Text written in one Windows ANSI code page and read in another, for UTF-8
// text, one character at a time: what CodePageTable::Encode of the writing page
// followed by Decode of the reading page gives for a whole text, without making
// either as a text of its own. That holds when the reading page has single bytes
// only (each byte is a character of its own there), so only such pairs have one.
// The answer for each character is worked out when it first occurs.
class CodePageRecoder {
  public:
    // The recoder of the pair, or null when the reading page is a double-byte
    // one or either page has no table.
    static std::unique_ptr<CodePageRecoder> For(int writingPage, int readingPage);

    enum class Result {
        Held,      // every character came back: its bytes read as it in the writing page
        Lost,      // at least one character did not
        NotPlain,  // the bytes are no well-formed UTF-8; out is unspecified
    };
    // The recoded text of the UTF-8 bytes, in out (replaced). With lost, the
    // characters that did not come back are added to it, each time they occur.
    Result Recode(const char* utf8, size_t size, QByteArray& out,
                  std::vector<char32_t>* lost = nullptr);

  private:
    CodePageRecoder(const CodePageTable& writing, const CodePageTable& reading);

    // A character's recoded form in UTF-8 (at most two bytes in the writing
    // page, each at most three bytes of UTF-8), and whether it came back.
    static constexpr uint8_t kUnknown = 0xFF;
    struct Form {
        uint8_t length = kUnknown;  // not worked out yet
        bool held = false;
        std::array<char, 6> utf8{};
    };
    const Form& FormOf(char32_t character);

    const CodePageTable& writing_;
    const CodePageTable& reading_;
    std::vector<Form> forms_;  // by UTF-16 unit
    Form beyondBmp_;           // every character beyond the BMP has the same form
};
