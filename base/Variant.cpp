#include "Variant.h"

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

QString Variant::ToText() const {
    if (IsText()) return Text();
    if (IsNumber()) return ShortestDecimal(Number());
    if (IsBoolean()) return BooleanValue() ? QStringLiteral("True") : QStringLiteral("False");
    return {};
}

double Variant::ToNumber() const {
    if (IsNumber()) return Number();
    if (IsText()) return Val(Text());
    if (IsBoolean()) return BooleanValue() ? -1.0 : 0.0;
    return 0.0;
}
