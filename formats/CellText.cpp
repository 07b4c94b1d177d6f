#include "CellText.h"

#include "Variant.h"

#include <QString>

#include <algorithm>

QString OoxmlUnescape(const QString& text) {
    qsizetype at = text.indexOf(QLatin1String("_x"));
    if (at < 0) return text;
    auto hex = [](QChar c) { return c.isDigit() || (c.toLower() >= u'a' && c.toLower() <= u'f'); };
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    for (; at >= 0 && at + 7 <= text.size(); at = text.indexOf(QLatin1String("_x"), at)) {
        const QStringView digits = QStringView(text).mid(at + 2, 4);
        if (text[at + 6] != u'_' || !std::all_of(digits.begin(), digits.end(), hex)) {
            at += 2;
            continue;
        }
        out += QStringView(text).mid(from, at - from);
        out += QChar(static_cast<char16_t>(digits.toUInt(nullptr, 16)));
        at += 7;
        from = at;
    }
    out += QStringView(text).mid(from);
    return out;
}

bool OoxmlEscaped(std::string_view utf8) { return utf8.find("_x") != std::string_view::npos; }

bool LongerThanACell(const Variant& value) {
    if (!value.IsText()) return false;
    // At least a byte of UTF-8 for each UTF-16 unit.
    if (const QByteArray* utf8 = value.Utf8Text(); utf8 && utf8->size() <= kMaxCellCharacters)
        return false;
    return value.TextSize() > kMaxCellCharacters;
}
