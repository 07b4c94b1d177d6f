#pragma once

#include <QString>

#include <cstdint>
#include <string_view>
#include <vector>

// The checks of a translation against its reference (the text of the same ID in
// the language the translator worked from), as localization tools make them:
// what breaks the translated program is an error, what is worth a look a
// warning. Both texts are UTF-8 in their real characters.
namespace TranslationChecks {

enum class Check : uint8_t {
    // Errors
    Placeholders,  // %1, %s, %5.2f, {0}, {0:N2}, {name}: as multisets
    Accelerators,  // "&" before a character ("&&" is a literal "&"): the number of them
    Newlines,      // the number of line breaks
    Tags,          // the XML/HTML tags: names and order of opening and closing ones
    // Warnings
    Whitespace,   // leading or trailing whitespace
    Punctuation,  // the ending punctuation (not for references of 4 characters or fewer)
    DoubleSpace,  // a double space the reference does not have
    Unchanged,    // the translation is the reference of two words or more
    Empty,        // the translation is empty, the reference is not
};

enum class Severity : uint8_t { Error, Warning };

Severity SeverityOf(Check check);
// Stable English names for machines: "placeholders", "double-space".
const char* Name(Check check);
// The German names users read: "Platzhalter", "Zugriffstasten".
QString GermanName(Check check);

// The checks a translation fails against its reference, errors first. A
// reference that is empty has nothing to check against: none. An empty
// translation of a reference fails Empty only. greek: the translation is Greek,
// whose question mark is ";".
std::vector<Check> Compare(std::string_view reference, std::string_view translation,
                           bool greek = false);

}  // namespace TranslationChecks
