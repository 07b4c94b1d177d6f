#include "RuntimeError.h"
#include "SourceFormats.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace {

// A changed wording is a visible change: these are the messages users read most.
TEST(RuntimeErrorTest, NamedErrorsKeepTheirNumberAndWording) {
    struct Case {
        RuntimeError error;
        int number;
        const char16_t* description;
    };
    const QString file = QStringLiteral("/p/Demo.qrp");
    const Case cases[] = {
        {RuntimeError::FileNotFound(file), 3024, u"Die Datei '/p/Demo.qrp' wurde nicht gefunden."},
        {RuntimeError::ColumnMissing(QStringLiteral("L1049"), QStringLiteral("TidxTexts"), file),
         3061, u"Die Spalte 'L1049' fehlt in der Tabelle 'TidxTexts' der Datei '/p/Demo.qrp'."},
        {RuntimeError::WorkbookDamaged(QStringLiteral("/q/a.xls"),
                                       QStringLiteral("Datensatz zu kurz")),
         3274,
         u"Die Datei '/q/a.xls' ist keine lesbare Arbeitsmappe oder ist beschädigt: Datensatz zu "
         u"kurz."},
        {RuntimeError::SheetNotFound(QStringLiteral("TidxTexts"), QStringLiteral("/q/a.xls")), 3011,
         u"Das Tabellenblatt 'TidxTexts' wurde in der Arbeitsmappe '/q/a.xls' nicht gefunden."},
        {RuntimeError::UnknownSourceKind(QStringLiteral("/q/texte.txt"),
                                         SourceFormats::Extensions()),
         3264,
         u"Die Datei '/q/texte.txt' kann nicht verknüpft werden: Ihre Endung nennt keine Quelle, "
         u"die sich importieren lässt (.qrp, .mdb, .xls, .xlsx, .csv, .xlf, .xliff)."},
        {RuntimeError::Locked(file), 3218,
         u"Die Datei '/p/Demo.qrp' ist von einem anderen Programm gesperrt. Schließen Sie das "
         u"andere Programm und versuchen Sie es erneut."},
        {RuntimeError::DiskFull(file), 3026,
         u"Nicht genügend Speicherplatz auf dem Datenträger für '/p/Demo.qrp'."},
        {RuntimeError::NotWritable(file), 3051,
         u"Die Datei '/p/Demo.qrp' kann nicht zum Schreiben geöffnet werden; sie ist "
         u"schreibgeschützt oder Ihnen fehlt die Berechtigung."},
        {RuntimeError::TableNotFound(QStringLiteral("TidxTexts"), file), 3078,
         u"Die Tabelle 'TidxTexts' wurde in der Datenbank '/p/Demo.qrp' nicht gefunden."},
        {RuntimeError::UnknownLanguage(1234, QStringLiteral("L1234")), 5,
         u"Ungültiger Prozeduraufruf oder ungültiges Argument: Für die Sprachkennung 1234 "
         u"(Spalte 'L1234') kennt das System keine Sprache."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.error.Number(), c.number) << c.error.what();
        EXPECT_EQ(c.error.Description(), QString::fromUtf16(c.description));
        EXPECT_EQ(QString::fromUtf8(c.error.what()),
                  QString::number(c.number) + QStringLiteral(": ") + c.error.Description());
    }
}

TEST(RuntimeErrorTest, OtherExceptionsBecomeRunTimeErrors) {
    auto caught = [](auto thrower) {
        try {
            thrower();
        } catch (...) {
            return RuntimeError::FromCurrentException();
        }
        return RuntimeError::Unknown();
    };
    EXPECT_EQ(caught([] { throw std::bad_alloc(); }).Number(), ErrorNumber::OutOfMemory);
    const RuntimeError other = caught([] { throw std::runtime_error("kaputt"); });
    EXPECT_EQ(other.Number(), ErrorNumber::ReservedError);
    EXPECT_EQ(other.Description(), QStringLiteral("kaputt"));
    EXPECT_EQ(caught([] { throw RuntimeError::DiskFull(QStringLiteral("x")); }).Number(),
              ErrorNumber::DiskFull);
    EXPECT_EQ(caught([] { throw 42; }).Description(), QStringLiteral("Unbekannter Fehler."));
}

}  // namespace
