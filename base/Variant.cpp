#include "Variant.h"

#include "Utf8Writer.h"
#include "Val.h"

#include <charconv>
#include <cmath>

QString ShortestDecimal(double value) {
    if (value == 0.0) return QStringLiteral("0");  // also folds -0
    char buffer[64];
    auto fmt = std::abs(value) < 1e15 && std::abs(value) >= 1e-5 ? std::chars_format::fixed
                                                                 : std::chars_format::general;
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, fmt);
    if (result.ec != std::errc()) result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, static_cast<qsizetype>(result.ptr - buffer));
}

QString Variant::Text() const {
    if (const QByteArray* utf8 = Utf8Text()) return QString::fromUtf8(*utf8);
    return std::get<QString>(value_);
}

qsizetype Variant::TextSize() const {
    const QByteArray* utf8 = Utf8Text();
    if (!utf8) return std::get<QString>(value_).size();
    return Utf16Units(std::string_view(utf8->constData(), static_cast<size_t>(utf8->size())));
}

bool Variant::operator==(const Variant& other) const {
    if (IsText() && other.IsText() && value_.index() != other.value_.index())
        return Text() == other.Text();
    return value_ == other.value_;
}

QString Variant::ToText() const {
    if (IsText()) return Text();
    if (IsNumber()) return ShortestDecimal(Number());
    if (IsBoolean()) return BooleanValue() ? QStringLiteral("True") : QStringLiteral("False");
    return {};
}

const QByteArray& Variant::ToUtf8(QByteArray& scratch) const {
    if (const QByteArray* utf8 = Utf8Text()) return *utf8;
    WriteUtf8(ToText(), scratch);
    return scratch;
}

double Variant::ToNumber() const {
    if (IsNumber()) return Number();
    if (IsText()) return Val(Text());
    if (IsBoolean()) return BooleanValue() ? -1.0 : 0.0;
    return 0.0;
}
