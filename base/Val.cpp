#include "Val.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

namespace {

bool IsSkipped(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }

// "&H"/"&O" literals: four digits or fewer make a 16-bit integer, eight or fewer a
// 32-bit one, both with their sign bit ("&HFFFF" is -1), as the engine reads them.
double RadixValue(const std::u16string& digits, int radix) {
    uint64_t value = 0;
    for (char16_t c : digits) {
        value = value * static_cast<uint64_t>(radix) + static_cast<uint64_t>(c);
        if (value > 0xFFFFFFFFull) return static_cast<double>(value);
    }
    if (value <= 0xFFFF && (radix == 16 ? digits.size() <= 4 : value <= 0177777))
        return static_cast<double>(static_cast<int16_t>(value));
    return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

// "&H1F" and "&O17" after their "&": the radix letter and the digits.
double ParseRadix(const std::u16string& s, bool& found) {
    int radix = 0;
    if (s[1] == u'H' || s[1] == u'h') radix = 16;
    if (s[1] == u'O' || s[1] == u'o') radix = 8;
    if (radix == 0) return 0.0;
    std::u16string digits;
    for (size_t i = 2; i < s.size() && digits.size() < 32; ++i) {
        char16_t c = s[i];
        int d = -1;
        if (c >= u'0' && c <= u'9') d = c - u'0';
        if (radix == 16 && c >= u'a' && c <= u'f') d = c - u'a' + 10;
        if (radix == 16 && c >= u'A' && c <= u'F') d = c - u'A' + 10;
        if (d < 0 || d >= radix) break;
        digits.push_back(static_cast<char16_t>(d));
    }
    found = !digits.empty();
    return RadixValue(digits, radix);
}

// An exponent at s[i] ("E5", "d-3"), appended to number when it has digits.
void AppendExponent(const std::u16string& s, size_t i, std::string& number) {
    if (i >= s.size() || !(s[i] == u'E' || s[i] == u'e' || s[i] == u'D' || s[i] == u'd')) return;
    size_t j = i + 1;
    std::string exponent = "e";
    if (j < s.size() && (s[j] == u'+' || s[j] == u'-'))
        exponent.push_back(static_cast<char>(s[j++]));
    const size_t firstDigit = j;
    while (j < s.size() && s[j] >= u'0' && s[j] <= u'9' && exponent.size() < 12)
        exponent.push_back(static_cast<char>(s[j++]));
    if (j > firstDigit) number += exponent;
}

// The decimal number as a double; too large or too small for one, the sign and
// the exponent decide the direction.
double ToDouble(const std::string& number) {
    const char* begin = number.c_str();
    if (*begin == '+') ++begin;
    double value = 0.0;
    auto result = std::from_chars(begin, number.c_str() + number.size(), value);
    if (result.ec != std::errc::result_out_of_range) return value;
    if (number.find("e-") != std::string::npos) return 0.0;
    return number[0] == '-' ? -HUGE_VAL : HUGE_VAL;
}

// The number a text begins with; found tells whether it begins with one at all.
double ParseVal(const QString& text, bool& found) {
    found = false;
    std::u16string s;
    s.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text)
        if (!IsSkipped(c.unicode())) s.push_back(c.unicode());
    if (s.size() >= 2 && s[0] == u'&') return ParseRadix(s, found);

    size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) number.push_back(static_cast<char>(s[i++]));
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= u'0' && s[i] <= u'9') {
            number.push_back(static_cast<char>(s[i]));
            digits = true;
        } else if (s[i] == u'.' && !point) {
            number.push_back('.');
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return 0.0;
    found = true;
    AppendExponent(s, i, number);
    return ToDouble(number);
}

}  // namespace

double Val(const QString& text) {
    bool found = false;
    return ParseVal(text, found);
}

bool ValOfPlainDigits(const char* utf8, int size, double& value) {
    if (size <= 0 || size > 15) return false;
    double number = 0;
    for (int i = 0; i < size; ++i) {
        if (utf8[i] < '0' || utf8[i] > '9') return false;
        number = number * 10 + (utf8[i] - '0');
    }
    value = number;
    return true;
}

bool BeginsWithNumber(const QString& text) {
    bool found = false;
    ParseVal(text, found);
    return found;
}
