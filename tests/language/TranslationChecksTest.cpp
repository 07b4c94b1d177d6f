#include "TranslationChecks.h"

#include <QString>

#include <gtest/gtest.h>

namespace {

using TranslationChecks::Check;

struct Case {
    const char* reference;
    const char* translation;
    std::vector<Check> found;
    bool greek = false;
};

// Real mistakes of translators, and what is no mistake.
const std::vector<Case> kCases{
    // Access keys
    {"&Öffnen", "Open", {Check::Accelerators}},
    {"&Öffnen", "&Open", {}},
    {"&&Speichern", "Save", {}},  // "&&" is a literal "&"
    {"&Datei", "&&File", {Check::Accelerators}},
    {"Tom & Jerry", "Tom & Jerry", {Check::Unchanged}},  // "& " is no access key
    {"&Datei && &Ende", "&File and Exit", {Check::Accelerators}},
    // Place markers, as multisets
    {"%1 von %2", "%2 of %1", {}},
    {"%1 von %2", "of %2", {Check::Placeholders}},
    {"%1 von %1", "%1 of %2", {Check::Placeholders}},
    {"{0:N2} €", "{0} €", {Check::Placeholders}},
    {"{0:N2} €", "€ {0:N2}", {}},
    {"Hallo {name}!", "Hello {Name}!", {Check::Placeholders}},
    {"%s Dateien, %d Fehler", "%d errors, %s files", {}},
    {"%5.2f %%", "%5.2f percent", {}},  // "%%" is a literal
    {"%5.2f %%", "%.2f %%", {Check::Placeholders}},
    {"100 % sicher", "100 % safe", {}},
    {"{{0}} bleibt", "{{0}} stays", {}},
    {"%L1 Bytes", "%1 bytes", {Check::Placeholders}},
    // Line breaks
    {"Zeile\nZeile", "Line Line", {Check::Newlines}},
    {"Zeile\r\nZeile", "Line\nLine", {}},
    // Tags: names and order
    {"<b>Achtung</b>", "<b>Attention", {Check::Tags}},
    {"<b>Achtung</b>", "<B>Attention</B>", {}},
    {"<i>a</i><b>b</b>", "<b>b</b><i>a</i>", {Check::Tags}},
    {"Zeile<br/>Zeile", "Line<br>Line", {Check::Tags}},
    {"a < b und c > d", "a < b and c > d", {}},
    // Whitespace at the ends
    {" Datei", "File", {Check::Whitespace}},
    {"Datei: ", "File:", {Check::Whitespace}},
    {"  Rand  ", "  Edge  ", {}},
    {"\u00A0Rand", "Edge", {Check::Whitespace}},  // a no-break space
    {"Rand\u00A0", "Edge\u00A0", {}},
    // Ending punctuation, not for short references
    {"Speichern:", "Save", {Check::Punctuation}},
    {"Speichern?", "Save?", {}},
    {"Weiter...", "Next…", {}},
    {"Fertig.", "完了。", {}},
    {"Speichern?", "Αποθήκευση;", {}, true},  // the Greek question mark
    {"Speichern?", "Speichern;", {Check::Punctuation}},
    {"Ja:", "Yes", {}},
    // Double spaces
    {"Datei speichern", "Save  file", {Check::DoubleSpace}},
    {"Datei  speichern", "Save  file", {}},
    // Unchanged
    {"Speichern", "Speichern", {}},
    {"Datei speichern", "Datei speichern", {Check::Unchanged}},
    // Empty
    {"Datei", "", {Check::Empty}},
    {"", "File", {}},
    // Several at once, errors first
    {"&Löschen von %1?",
     "Delete  %2",
     {Check::Placeholders, Check::Accelerators, Check::Punctuation, Check::DoubleSpace}},
};

TEST(TranslationChecksTest, FindWhatTranslatorsBreak) {
    for (const Case& c : kCases) {
        const auto found = TranslationChecks::Compare(c.reference, c.translation, c.greek);
        EXPECT_EQ(found, c.found) << c.reference << " -> " << c.translation;
    }
}

TEST(TranslationChecksTest, NamesAndSeverities) {
    const std::vector<std::tuple<Check, const char*, QString, bool>> names{
        {Check::Placeholders, "placeholders", u"Platzhalter"_qs, true},
        {Check::Accelerators, "accelerators", u"Zugriffstasten"_qs, true},
        {Check::Newlines, "newlines", u"Zeilenumbrüche"_qs, true},
        {Check::Tags, "tags", u"Tags"_qs, true},
        {Check::Whitespace, "whitespace", u"Leerraum am Rand"_qs, false},
        {Check::Punctuation, "punctuation", u"Satzzeichen am Ende"_qs, false},
        {Check::DoubleSpace, "double-space", u"doppeltes Leerzeichen"_qs, false},
        {Check::Unchanged, "unchanged", u"unübersetzt"_qs, false},
        {Check::Empty, "empty", u"leer"_qs, false},
    };
    for (const auto& [check, name, german, error] : names) {
        EXPECT_STREQ(TranslationChecks::Name(check), name);
        EXPECT_EQ(TranslationChecks::GermanName(check), german);
        EXPECT_EQ(TranslationChecks::SeverityOf(check) == TranslationChecks::Severity::Error, error)
            << name;
    }
}

}  // namespace
