#pragma once

#include "CheckFindings.h"
#include "SpillList.h"
#include "UpdateTally.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// A count written the German way: "1.204".
QString GermanNumber(int64_t n);
// A count with its noun in the singular or plural: "1 Text", "1.204 Texte".
QString GermanCount(int64_t n, const char* one, const char* many);
// The count of texts, the noun every summary counts most: "1 Text", "3 Texte".
QString TextCount(int64_t n);
// A byte as "0xF6".
QString ByteName(uint8_t byte);
// A character's code point as Unicode writes it: "U+221E".
QString CodePointName(char32_t c);

// A character of an imported text that the language's code page does not hold:
// Windows put a similar one in its place (best fit), or "?" where it knows none.
struct LossyCharacter {
    char32_t character = 0;
    QString replacement;
    bool bestFit = false;
};

// An imported text that changed in the conversion to the language's code page.
struct LossyText {
    double id = 0;
    int64_t row = 0;  // its place in the source
    std::vector<LossyCharacter> characters;
};
// How a lost text is kept in a report list beyond its batch in memory.
void SpillOut(SpillWriter& out, const LossyText& text);
void SpillIn(SpillReader& in, LossyText& text);

// What an import did, or what it would do (a preview): the counts and lists of the
// update, and for converting imports the texts the code page cannot hold. The
// lists of lost characters and of the checks' findings may be as long as the
// source and are kept outside memory beyond a batch (see SpillList).
struct ImportReport {
    UpdateTally rows;
    SpillList<LossyText> lossy;
    bool written = false;  // false for a preview
    // The language the texts were checked against, and what the checks found
    // (see TranslationChecks); none when the project has no reference language.
    std::optional<int32_t> reference;
    SpillList<CheckFinding> checks;

    // A short German summary, e.g. "1.204 Texte geändert, 37 unverändert, ...";
    // when no text changed it says why; for a text file it names the encoding
    // read ("Gelesen als Windows-1251.").
    QString Summary() const;
    // The lists, itemized: at most limit entries of each, then how many more.
    QString Details(size_t limit = 1000) const;
    // Whether the source had rows that matched nothing, IDs without a number,
    // repeated IDs, characters the code page cannot hold, bytes of a UTF-8 text
    // file that are no UTF-8, units of a translation file whose target holds
    // placeholder codes, or translations that fail a check with an error
    // (warnings and untranslated units are no findings).
    bool HasFindings() const;
    // For a text file read in an ANSI code page whose texts still lose characters
    // in the language's code page (it is probably in another encoding): the
    // warning that the summary begins with; else empty.
    QString EncodingWarning() const;
};
