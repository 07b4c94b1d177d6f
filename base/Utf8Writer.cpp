#include "Utf8Writer.h"

void WriteUtf8(QStringView text, QByteArray& out) {
    const qsizetype size = text.size();
    // Three bytes per UTF-16 unit at most: a surrogate pair (two units) takes four.
    out.resize(size * 3);
    auto* p = reinterpret_cast<unsigned char*>(out.data());
    const char16_t* units = text.utf16();
    for (qsizetype i = 0; i < size; ++i) {
        const char32_t unit = units[i];
        if (unit < 0x80) {
            *p++ = static_cast<unsigned char>(unit);
        } else if (unit < 0x800) {
            *p++ = static_cast<unsigned char>(0xC0 | (unit >> 6));
            *p++ = static_cast<unsigned char>(0x80 | (unit & 0x3F));
        } else if (unit < 0xD800 || unit > 0xDFFF) {
            *p++ = static_cast<unsigned char>(0xE0 | (unit >> 12));
            *p++ = static_cast<unsigned char>(0x80 | ((unit >> 6) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | (unit & 0x3F));
        } else if (unit < 0xDC00 && i + 1 < size && units[i + 1] >= 0xDC00 &&
                   units[i + 1] <= 0xDFFF) {
            const char32_t code = 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
            *p++ = static_cast<unsigned char>(0xF0 | (code >> 18));
            *p++ = static_cast<unsigned char>(0x80 | ((code >> 12) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | (code & 0x3F));
        } else {
            *p++ = '?';
        }
    }
    out.resize(reinterpret_cast<char*>(p) - out.data());
}

qsizetype Utf16Units(std::string_view utf8) {
    qsizetype units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) != 0x80;
        units += byte >= 0xF0;
    }
    return units;
}
