#pragma once

#include <QString>

#include <cstdint>
#include <variant>

// The project kinds: seven names, each with a single-bit value, so a type mask
// selects kinds by AND. This is the only place where names and values are written.
namespace MText {

// A number or a text, as a registry value or a caller hands it over.
using ProjectTypeInput = std::variant<double, QString>;
// A kind's name (for numeric input) or its bit value (for any other input).
using ProjectTypeResult = std::variant<QString, int32_t>;

// Numeric input (a number, or a text that reads as one: blanks around it, a sign,
// digits, a decimal point, an exponent) gives the name of the kind with that
// value, or the empty text when no single kind has it. Any other text gives the
// value of the kind with exactly that name, case and blanks included, or 0.
ProjectTypeResult ConvertProjectType(const ProjectTypeInput& value);

// True when the text reads as a number in the sense above.
bool IsNumeric(const QString& text);

inline constexpr int32_t kGroup = 32;
inline constexpr int32_t kAllKinds = 0xFFFF;

}  // namespace MText
