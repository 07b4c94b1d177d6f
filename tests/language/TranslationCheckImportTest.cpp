// The checks of translations through the real command line: the same findings
// from a workbook, a text file and a database, in check, import and lint.
#include "CliRun.h"
#include "CodePage.h"
#include "TestSupport.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

// The German references of the project, the English a translator sent back.
const std::vector<std::tuple<int, QString, QString>> kTexts{
    {1, u"&Öffnen"_qs, u"Open"_qs},
    {2, u"&&Speichern"_qs, u"Save"_qs},
    {3, u"%1 von %2"_qs, u"%2 of %1"_qs},
    {4, u"%1 von %2"_qs, u"of %2"_qs},
    {5, u"{0:N2} €"_qs, u"{0} €"_qs},
    {6, u"Zeile\nZeile"_qs, u"Line Line"_qs},
    {7, u"<b>Achtung</b>"_qs, u"<b>Attention"_qs},
    {8, u"Speichern:"_qs, u"Save"_qs},
    {9, u"Speichern"_qs, u"Speichern"_qs},
    {10, u"Datei speichern"_qs, u"Datei speichern"_qs},
};

// What the checks find in them: ID, check, severity.
const std::vector<std::tuple<int, const char*, const char*>> kFound{
    {1, "accelerators", "error"}, {4, "placeholders", "error"}, {5, "placeholders", "error"},
    {6, "newlines", "error"},     {7, "tags", "error"},         {8, "punctuation", "warning"},
    {10, "unchanged", "warning"},
};

QString Sql(const QString& text) {
    return u"'"_qs + QString(text).replace(u"'"_qs, u"''"_qs) + u"'"_qs;
}

// The findings as (id, check, severity, reference, text), checked against the texts.
void ExpectFindings(const QJsonArray& checks, bool withRows) {
    ASSERT_EQ(checks.size(), static_cast<qsizetype>(kFound.size()));
    for (size_t i = 0; i < kFound.size(); ++i) {
        const auto& [id, check, severity] = kFound[i];
        const QJsonObject found = checks[static_cast<qsizetype>(i)].toObject();
        EXPECT_EQ(found[u"id"_qs].toString(), QString::number(id));
        EXPECT_EQ(found[u"check"_qs].toString(), QString::fromLatin1(check)) << id;
        EXPECT_EQ(found[u"severity"_qs].toString(), QString::fromLatin1(severity)) << id;
        EXPECT_EQ(found[u"reference"_qs].toString(), std::get<1>(kTexts[id - 1]));
        EXPECT_EQ(found[u"text"_qs].toString(), std::get<2>(kTexts[id - 1]));
        if (withRows)
            EXPECT_EQ(found[u"row"_qs].toInt(), id) << "the place in the source";
        else
            EXPECT_FALSE(found.contains(u"row"_qs));
    }
}

class TranslationCheckImportTest : public testing::Test {
  protected:
    void SetUp() override {
        project = folder.Path(u"Demo.qrp"_qs);
        QString sql = u"CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031 TEXT, L1033 TEXT);"_qs;
        for (const auto& [id, german, english] : kTexts)
            sql += u"INSERT INTO TidxTexts VALUES (%1, %2, NULL);"_qs.arg(id).arg(Sql(german));
        RunSql(project, sql);
        database = folder.Path(u"Englisch.mdb"_qs);
        sql = u"CREATE TABLE TidxTexts(ID, L1033);"_qs;
        for (const auto& [id, german, english] : kTexts)
            sql += u"INSERT INTO TidxTexts VALUES (%1, %2);"_qs.arg(id).arg(Sql(english));
        RunSql(database, sql);
    }
    QStringList Sources() const {
        return {TestData(u"xlsx/translation-mistakes-openpyxl.xlsx"_qs),
                TestData(u"csv/translation-mistakes-libreoffice.csv"_qs), database};
    }

    TempFolder folder;
    QString project, database;
};

TEST_F(TranslationCheckImportTest, EverySourceGivesTheSameFindings) {
    for (const QString& source : Sources()) {
        SCOPED_TRACE(source.toStdString());
        const CliRun check = Cli({u"check"_qs, project, u"1033"_qs, source, u"--json"_qs});
        EXPECT_EQ(check.exitCode, 3) << "errors are findings";
        const QJsonObject report = check.Json();
        EXPECT_EQ(report[u"reference"_qs].toString(), u"L1031"_qs);
        EXPECT_EQ(report[u"counts"_qs][u"checkErrors"_qs].toInt(), 5);
        EXPECT_EQ(report[u"counts"_qs][u"checkWarnings"_qs].toInt(), 2);
        ExpectFindings(report[u"checks"_qs].toArray(), true);
        EXPECT_TRUE(report[u"summary"_qs].toString().contains(
            u"5 Texte mit Fehlern (Platzhalter, Zugriffstasten, Zeilenumbrüche, Tags), 2 Hinweise"_qs))
            << report[u"summary"_qs].toString().toStdString();
    }
}

TEST_F(TranslationCheckImportTest, StrictWritesNothingAndLintFindsTheSame) {
    const QString workbook = Sources().first();
    const QByteArray before = FileBytes(project);
    const CliRun strict = Cli({u"import"_qs, project, u"1033"_qs, workbook, u"--strict"_qs});
    EXPECT_EQ(strict.exitCode, 3);
    EXPECT_TRUE(strict.out.contains(
        u"Prüfung gegen L1031: Fehler (5):\n"
        "  Zeile 1, ID 1: Zugriffstasten – Referenz „&Öffnen“, Text „Open“\n"_qs))
        << strict.out.toStdString();
    EXPECT_TRUE(
        strict.out.contains(u"  Zeile 6, ID 6: Zeilenumbrüche – Referenz „Zeile\\nZeile“, "
                            "Text „Line Line“\n"_qs));
    EXPECT_TRUE(strict.out.endsWith(u"Nichts importiert (--strict).\n"_qs));
    EXPECT_EQ(FileBytes(project), before) << "byte for byte";

    // Imported all the same, the texts are in the project: lint finds them there.
    EXPECT_EQ(Cli({u"import"_qs, project, u"1033"_qs, workbook}).exitCode, 0)
        << "findings do not stop a plain import";
    const CliRun lint = Cli({u"lint"_qs, project, u"L1033"_qs, u"--json"_qs});
    EXPECT_EQ(lint.exitCode, 3);
    EXPECT_EQ(lint.Json()[u"counts"_qs][u"texts"_qs].toInt(), 10);
    ExpectFindings(lint.Json()[u"checks"_qs].toArray(), false);
    const CliRun text = Cli({u"lint"_qs, project, u"1033"_qs});
    EXPECT_TRUE(text.out.startsWith(
        u"10 Texte gegen L1031 geprüft: 5 Texte mit Fehlern (Platzhalter, Zugriffstasten, "
        "Zeilenumbrüche, Tags), 2 Hinweise.\n"_qs))
        << text.out.toStdString();
    // Warnings alone never change the exit status.
    RunSql(project,
           u"UPDATE TidxTexts SET L1033 = '&Open' WHERE ID = 1; UPDATE TidxTexts SET "
           "L1033 = NULL WHERE ID IN (4, 5, 6, 7)"_qs);
    const CliRun warnings = Cli({u"lint"_qs, project, u"1033"_qs, u"--json"_qs});
    EXPECT_EQ(warnings.exitCode, 0);
    EXPECT_EQ(warnings.Json()[u"counts"_qs][u"checkErrors"_qs].toInt(), 0);
    EXPECT_EQ(warnings.Json()[u"counts"_qs][u"checkWarnings"_qs].toInt(), 6)
        << "two as before, and four empty translations";
}

TEST_F(TranslationCheckImportTest, TheReferenceIsChosenOrNamed) {
    const QString workbook = Sources().first();
    // Another reference, which has no texts yet: nothing to check against.
    RunSql(project, u"ALTER TABLE TidxTexts ADD COLUMN L1049 TEXT"_qs);
    const CliRun other = Cli(
        {u"check"_qs, project, u"1033"_qs, database, u"--reference"_qs, u"1049"_qs, u"--json"_qs});
    EXPECT_EQ(other.exitCode, 0);
    EXPECT_EQ(other.Json()[u"reference"_qs].toString(), u"L1049"_qs);
    EXPECT_TRUE(other.Json()[u"checks"_qs].toArray().isEmpty());
    for (const QStringList& usage :
         {QStringList{u"check"_qs, project, u"1033"_qs, workbook, u"--reference"_qs, u"1033"_qs},
          QStringList{u"lint"_qs, project, u"1033"_qs, u"--reference=1036"_qs},
          QStringList{u"lint"_qs, project}}) {
        const CliRun run = Cli(usage);
        EXPECT_EQ(run.exitCode, 2) << usage.join(u' ').toStdString();
    }
    // German itself has no reference unless one is named: nothing is checked.
    const CliRun german = Cli({u"lint"_qs, project, u"1031"_qs});
    EXPECT_EQ(german.exitCode, 0);
    EXPECT_TRUE(german.out.startsWith(u"Nicht geprüft:"_qs)) << german.out.toStdString();
    ASSERT_EQ(Cli({u"import"_qs, project, u"1033"_qs, workbook}).exitCode, 0);
    const CliRun named =
        Cli({u"lint"_qs, project, u"1031"_qs, u"--reference"_qs, u"1033"_qs, u"--json"_qs});
    EXPECT_EQ(named.exitCode, 3) << "German against English: \"&Öffnen\" has a key \"Open\" lacks";
    EXPECT_EQ(named.Json()[u"reference"_qs].toString(), u"L1033"_qs);
}

}  // namespace
