#include "CodePage.h"
#include "DBEngine.h"
#include "Database.h"
#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "TestSupport.h"
#include "WorkbookWriter.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <thread>

namespace {

using MLanguageTransfer::TransferLanguage;

Variant Txt(const char16_t* text) { return Variant(QString::fromUtf16(text)); }

class TransferLanguageTest : public testing::Test {
  protected:
    void SetUp() override {
        CodePage::SetSystemAnsiCodePage(1252);
        DBEngine::Instance().SetLockTimeout(300);
        project = folder.Path(QStringLiteral("Demo.qrp"));
        // IDs 0..13 and 100000, 200; every language column filled with "alt N".
        std::vector<ProjectRow> rows;
        for (int64_t id : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 200, 100000}) {
            QString old = QStringLiteral("alt %1").arg(id);
            rows.push_back({id, old, old, old});
        }
        WriteProject(project, rows);
    }
    void TearDown() override { CodePage::SetSystemAnsiCodePage(std::nullopt); }

    TempFolder folder;
    QString project;
    MessageRecorder messages;
};

TEST_F(TransferLanguageTest, WorkbookIdsMatchByTheirNumericValue) {
    const QString source = folder.Copy(QStringLiteral("excel/texts-libreoffice.xls"));
    ASSERT_TRUE(TransferLanguage(project, 1031, source));
    EXPECT_TRUE(messages.messages.empty());
    auto texts = ReadColumn(project, QStringLiteral("L1031"));
    EXPECT_EQ(texts[1], Txt(u"Datei")) << "number 1";
    EXPECT_EQ(texts[3], Txt(u"Ansicht")) << "text \"3\"";
    EXPECT_EQ(texts[4], Txt(u"Extras")) << "text with leading blanks";
    EXPECT_EQ(texts[5], Txt(u"Fenster")) << "number followed by letters";
    EXPECT_EQ(texts[6], Variant()) << "an empty cell overwrites with Null";
    EXPECT_EQ(texts[7], Txt(u"2024")) << "a number becomes its shortest text";
    EXPECT_EQ(texts[8], Txt(u"Gr\u00F6\u00DFe: 5 \u20AC \u2013 \u201EAnf\u00FChrung\u201C"))
        << "all of cp1252";
    EXPECT_EQ(texts[10], Txt(u"?? und Deutsch")) << "what cp1252 lacks becomes ?";
    EXPECT_EQ(texts[0], Txt(u"ID ohne Zahl")) << "a text without a number matches ID 0";
    EXPECT_EQ(texts[12], Txt(u"Zw\u00F6lf")) << "the float 12.0";
    EXPECT_EQ(texts[13], Txt(u"alt 13")) << "not in the source";
    EXPECT_EQ(texts[200], Txt(u"alt 200"));
    EXPECT_EQ(texts[100000], Txt(u"Letzter Text"));
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1033"))[1], Txt(u"alt 1"))
        << "other languages untouched";
    EXPECT_EQ(TableNames(project), std::vector<QString>({QStringLiteral("TidxTexts")}))
        << "no link left";
}

TEST_F(TransferLanguageTest, RussianIsStoredAsItsCodePageBytes) {
    const QString source = folder.Copy(QStringLiteral("excel/texts-biff5-cp1251.xls"));
    ASSERT_TRUE(TransferLanguage(project, 1049, source));
    auto texts = ReadColumn(project, QStringLiteral("L1049"));
    // The rows with ID 12 (the number 12, "12", "  12" and "12abc") share one
    // row; the last of them wins, and its text is re-encoded once.
    EXPECT_EQ(texts[12],
              Variant(CodePage::Decode(CodePage::Encode(QStringLiteral("Ёлка"), 1251), 1252)));
    EXPECT_EQ(texts[0],
              Variant(CodePage::Decode(CodePage::Encode(QStringLiteral("Щука"), 1251), 1252)))
        << "\"abc\" matches ID 0";
    EXPECT_EQ(texts[1], Txt(u"alt 1"));
}

TEST_F(TransferLanguageTest, DaBecomesTwoLatinLettersExactlyOnce) {
    const QString source = folder.Path(QStringLiteral("ru.xls"));
    using namespace Biff;
    WriteCompoundFile(source,
                      WorkbookStream(8, {},
                                     {{QStringLiteral("TidxTexts"),
                                       Label8(0, 0, "ID") + Label8(0, 1, "L1049") +
                                           Number(1, 0, 2) + Label8(1, 1, QStringLiteral("Да"))}}),
                      8);
    RunSql(project, QStringLiteral("UPDATE TidxTexts SET L1049 = 'Нет' WHERE ID = 3"));
    ASSERT_TRUE(TransferLanguage(project, 1049, source));
    auto first = ReadColumn(project, QStringLiteral("L1049"));
    EXPECT_EQ(first[2], Txt(u"\u00C4\u00E0"));
    EXPECT_EQ(first[3], Txt(u"Нет")) << "rows the import did not write are not re-encoded";

    ASSERT_TRUE(TransferLanguage(project, 1049, source));
    auto second = ReadColumn(project, QStringLiteral("L1049"));
    EXPECT_EQ(second[2], Txt(u"\u00C4\u00E0")) << "a second import re-encodes its own rows once";
    EXPECT_EQ(second[3], Txt(u"Нет"));
}

TEST_F(TransferLanguageTest, ProjectSourcesAreCopiedUnchanged) {
    const QString source = folder.Path(QStringLiteral("Quelle.qrp"));
    WriteProject(source, {{2, "Bearbeiten", {}, "Правка"}, {3, {}, {}, "Вид"}});
    RunSql(source, QStringLiteral("CREATE TABLE Fremd(x)"));
    ASSERT_TRUE(TransferLanguage(project, 1049, source));
    auto texts = ReadColumn(project, QStringLiteral("L1049"));
    EXPECT_EQ(texts[2], Txt(u"Правка"));
    EXPECT_EQ(texts[3], Txt(u"Вид"));
    EXPECT_EQ(texts[4], Txt(u"alt 4"));
}

TEST_F(TransferLanguageTest, DatabaseSourcesAreReencoded) {
    const QString source = folder.Path(QStringLiteral("Quelle.mdb"));
    WriteProject(source, {{2, {}, {}, "Да"}});
    ASSERT_TRUE(TransferLanguage(project, 1049, source));
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1049"))[2], Txt(u"\u00C4\u00E0"));
}

TEST_F(TransferLanguageTest, TextIdsInADatabaseSource) {
    const QString source = folder.Path(QStringLiteral("Quelle.qrp"));
    RunSql(source,
           QStringLiteral(
               "CREATE TABLE TidxTexts(ID TEXT, L1031);"
               "INSERT INTO TidxTexts VALUES ('  2', 'zwei'), ('3abc', 'drei'), ('&H4', 'vier'),"
               "('1 1', 'elf'), (NULL, 'ohne'), ('abc', 'null'), (5, 2024.0), (6.0, 7), (7, 12.5),"
               "(8, NULL), (9, '')"));
    ASSERT_TRUE(TransferLanguage(project, 1031, source));
    auto texts = ReadColumn(project, QStringLiteral("L1031"));
    EXPECT_EQ(texts[2], Txt(u"zwei"));
    EXPECT_EQ(texts[3], Txt(u"drei"));
    EXPECT_EQ(texts[4], Txt(u"vier"));
    EXPECT_EQ(texts[11], Txt(u"elf"));
    EXPECT_EQ(texts[0], Txt(u"null"));
    EXPECT_EQ(texts[1], Txt(u"alt 1")) << "a Null ID matches nothing";
    EXPECT_EQ(texts[5], Txt(u"2024")) << "numbers become their shortest text";
    EXPECT_EQ(texts[6], Txt(u"7"));
    EXPECT_EQ(texts[7], Txt(u"12.5"));
    EXPECT_EQ(texts[8], Variant()) << "Null stays Null";
    EXPECT_EQ(texts[9], Txt(u"")) << "the empty text stays empty";
}

TEST_F(TransferLanguageTest, UpperCaseExtensionImportsLikeLowerCase) {
    const QString source =
        folder.Copy(QStringLiteral("excel/texts-libreoffice.xls"), QStringLiteral("TEXTE.XLS"));
    ASSERT_TRUE(TransferLanguage(project, 1031, source));
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031"))[1], Txt(u"Datei"));
}

TEST_F(TransferLanguageTest, LanguageWithoutCodePageIsNotReencoded) {
    RunSql(project, QStringLiteral("ALTER TABLE TidxTexts ADD COLUMN L1081 TEXT"));
    const QString source = folder.Path(QStringLiteral("hi.xls"));
    using namespace Biff;
    WriteCompoundFile(
        source,
        WorkbookStream(8, {},
                       {{QStringLiteral("TidxTexts"), Label8(0, 0, "ID") + Label8(0, 1, "L1081") +
                                                          Number(1, 0, 1) +
                                                          Label8(1, 1, QStringLiteral("फ़ाइल"))}}),
        8);
    ASSERT_TRUE(TransferLanguage(project, 1081, source));
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1081"))[1], Txt(u"फ़ाइल"));
}

TEST_F(TransferLanguageTest, StaleLinkFromAnAbortedImportIsReplaced) {
    const QString source = folder.Copy(QStringLiteral("excel/texts-libreoffice.xls"));
    {
        auto db = DBEngine::Instance().OpenDatabase(project);
        TableDef stale(QStringLiteral("TidxTemp"));
        stale.SetConnect(QStringLiteral("Excel 5.0;HDR=YES;IMEX=2;DATABASE=") +
                         folder.Copy(QStringLiteral("excel/missing-language.xls")));
        stale.SetSourceTableName(QStringLiteral("TidxTexts$"));
        db->TableDefs().Append(stale);
    }
    ASSERT_TRUE(TransferLanguage(project, 1031, source));
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031"))[1], Txt(u"Datei"));
    EXPECT_EQ(TableNames(project), std::vector<QString>({QStringLiteral("TidxTexts")}));
}

struct FailureCase {
    const char* what;
    QString source;  // relative to the tests' data, copied; or a name that is not there
    bool copy;
    int number;
};

TEST_F(TransferLanguageTest, FailuresAreReportedAndChangeNothing) {
    const QByteArray before = FileBytes(project);
    const std::vector<FailureCase> cases = {
        {"missing source", QStringLiteral("fehlt.xls"), false, ErrorNumber::FileNotFound},
        {"no such sheet", QStringLiteral("excel/wrong-sheet.xls"), true,
         ErrorNumber::ObjectNotFound},
        {"no such column", QStringLiteral("excel/missing-language.xls"), true,
         ErrorNumber::FieldNotFound},
        {"damaged workbook", QStringLiteral("excel/damaged/sst-crash-1.xls"), true,
         ErrorNumber::ExternalFormat},
        {"truncated workbook", QStringLiteral("excel/truncated.xls"), true,
         ErrorNumber::ExternalFormat},
        {"unknown extension", QStringLiteral("excel/texts-libreoffice.xls"), true,
         ErrorNumber::NoLink},
        {"workbook named as database", QStringLiteral("excel/texts-libreoffice.xls"), true,
         ErrorNumber::UnrecognizedFormat},
    };
    const std::vector<QString> names = {QString(),
                                        QString(),
                                        QString(),
                                        QString(),
                                        QString(),
                                        QStringLiteral("texte.txt"),
                                        QStringLiteral("texte.mdb")};
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        messages.messages.clear();
        QString source = c.copy ? folder.Copy(c.source, names[i]) : folder.Path(c.source);
        EXPECT_FALSE(TransferLanguage(project, 1031, source)) << c.what;
        EXPECT_EQ(messages.FailureNumber(), c.number) << c.what;
        EXPECT_TRUE(messages.messages.at(0).text.contains(source))
            << c.what << ": the message does not name the source";
        EXPECT_EQ(FileBytes(project), before) << c.what << ": project changed";
    }
}

TEST_F(TransferLanguageTest, MessageNamesTheMissingFile) {
    const QString source = folder.Path(QStringLiteral("fehlt.xls"));
    EXPECT_FALSE(TransferLanguage(project, 1031, source));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(
        messages.messages[0].text,
        QStringLiteral(
            "Fehler beim Importieren einer Sprache!\n3024: Die Datei '%1' wurde nicht gefunden.")
            .arg(source));
}

TEST_F(TransferLanguageTest, ProjectsThatCannotBeImportedInto) {
    const QString source = folder.Copy(QStringLiteral("excel/texts-libreoffice.xls"));
    const QString missing = folder.Path(QStringLiteral("Fehlt.qrp"));
    EXPECT_FALSE(TransferLanguage(missing, 1031, source));
    EXPECT_EQ(messages.FailureNumber(), ErrorNumber::FileNotFound);
    EXPECT_FALSE(QFileInfo::exists(missing)) << "no project is created";

    messages.messages.clear();
    const QString notADatabase =
        folder.Copy(QStringLiteral("excel/texts-libreoffice.xls"), QStringLiteral("Kaputt.qrp"));
    const QByteArray bytes = FileBytes(notADatabase);
    EXPECT_FALSE(TransferLanguage(notADatabase, 1031, source));
    EXPECT_EQ(messages.FailureNumber(), ErrorNumber::UnrecognizedFormat);
    EXPECT_EQ(FileBytes(notADatabase), bytes);

    messages.messages.clear();
    const QString withoutTexts = folder.Path(QStringLiteral("Leer.qrp"));
    RunSql(withoutTexts, QStringLiteral("CREATE TABLE Andere(ID INTEGER)"));
    EXPECT_FALSE(TransferLanguage(withoutTexts, 1031, source));
    EXPECT_EQ(messages.FailureNumber(), ErrorNumber::TableNotFound);
    EXPECT_EQ(TableNames(withoutTexts), std::vector<QString>({QStringLiteral("Andere")}));

    messages.messages.clear();
    EXPECT_FALSE(TransferLanguage(project, 1036, source)) << "the project has no French column";
    EXPECT_EQ(messages.FailureNumber(), ErrorNumber::FieldNotFound);
}

TEST_F(TransferLanguageTest, FailedReencodingUndoesTheUpdate) {
    // The project refuses the re-encoded Russian text, as a column constraint would.
    RunSql(project,
           QStringLiteral(
               "CREATE TRIGGER refuse BEFORE UPDATE OF L1049 ON TidxTexts "
               "WHEN NEW.L1049 = char(196, 224) BEGIN SELECT RAISE(ABORT, 'abgelehnt'); END"));
    const QString source = folder.Path(QStringLiteral("Quelle.mdb"));
    WriteProject(source, {{1, {}, {}, "Файл"}, {2, {}, {}, "Да"}});
    const auto before = ReadColumn(project, QStringLiteral("L1049"));
    EXPECT_FALSE(TransferLanguage(project, 1049, source));
    EXPECT_EQ(messages.FailureNumber(), ErrorNumber::ReservedError);
    EXPECT_TRUE(messages.messages[0].text.contains(QStringLiteral("abgelehnt")));
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1049")), before) << "all old texts, none new";
}

TEST_F(TransferLanguageTest, ProjectHeldOpenByAnotherReaderImports) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(project).constData(), &other), SQLITE_OK);
    sqlite3_exec(other, "SELECT count(*) FROM TidxTexts", nullptr, nullptr, nullptr);
    EXPECT_TRUE(TransferLanguage(project, 1031,
                                 folder.Copy(QStringLiteral("excel/texts-libreoffice.xls"))));
    sqlite3_close(other);
}

TEST_F(TransferLanguageTest, ProjectLockedByAnotherWriterFailsUnchanged) {
    const QString source = folder.Copy(QStringLiteral("excel/texts-libreoffice.xls"));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(project).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const auto before = ReadColumn(project, QStringLiteral("L1031"));
    EXPECT_FALSE(TransferLanguage(project, 1031, source));
    EXPECT_EQ(messages.FailureNumber(), ErrorNumber::Locked);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031")), before);

    // A lock that is released within the wait lets the import through.
    messages.messages.clear();
    DBEngine::Instance().SetLockTimeout(5000);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    EXPECT_TRUE(TransferLanguage(project, 1031, source));
    release.join();
    sqlite3_close(other);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031"))[1], Txt(u"Datei"));
}

}  // namespace

namespace {

// A source database whose table is damaged half-way: the rows before the damage
// are read (on the thread that reads ahead of the update), then the import fails
// naming the source, and the project and its undo data are as before.
TEST_F(TransferLanguageTest, ASourceDamagedHalfWayFailsNamingItAndChangesNothing) {
    const QString source = folder.Path(QStringLiteral("Beschaedigt.mdb"));
    QStringList values;
    for (int id = 0; id < 20000; ++id) values << QStringLiteral("(%1, 'Text %1')").arg(id);
    RunSql(source, QStringLiteral("CREATE TABLE TidxTexts(ID, L1031); INSERT INTO TidxTexts "
                                  "VALUES ") +
                       values.join(u','));
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const qint64 pages = file.size() / 4096;
        ASSERT_GT(pages, 20);
        ASSERT_TRUE(file.seek(pages / 2 * 4096));
        file.write(QByteArray(4096, '\x55'));
    }
    const QByteArray before = FileBytes(project);
    EXPECT_FALSE(TransferLanguage(project, 1031, source));
    EXPECT_EQ(messages.FailureNumber(), ErrorNumber::Corrupt);
    ASSERT_EQ(messages.messages.size(), 1u);
    // The source is what is damaged, not the project.
    const QString text = messages.messages[0].text;
    EXPECT_TRUE(text.contains(QStringLiteral("Die Datenbank '%1' ist beschädigt").arg(source)))
        << text.toStdString();
    EXPECT_FALSE(text.contains(project)) << text.toStdString();
    EXPECT_EQ(FileBytes(project), before);
}

// The checks run beside the update, a few thousand texts at a time: every text
// is checked once, in the update's order, whether the source comes in the order
// of its IDs or has to be read again ordered by them.
TEST(TranslationChecksOfManyTexts, AreListedOnceInTheUpdatesOrder) {
    CodePage::SetSystemAnsiCodePage(1252);
    TempFolder folder;
    const QString numbers = QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 6000) ");
    const QString project = folder.Path(QStringLiteral("Viele.qrp"));
    RunSql(project, QStringLiteral("CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031 TEXT, "
                                   "L1049 TEXT); ") +
                        numbers +
                        QStringLiteral("INSERT INTO TidxTexts SELECT i, 'Wert %1 von ' || i, "
                                       "NULL FROM n"));
    // Every third translation lost its placeholder; the second source turns out
    // of order after two batches of checks and is read again.
    for (const char* order : {"", " ORDER BY CASE WHEN i <= 5000 THEN i ELSE 12000 - i END"}) {
        SCOPED_TRACE(order);
        const QString source = folder.Path(QStringLiteral("Quelle%1.mdb").arg(qstrlen(order)));
        RunSql(source, QStringLiteral("CREATE TABLE TidxTexts(ID, L1049 TEXT); ") + numbers +
                           QStringLiteral("INSERT INTO TidxTexts SELECT i, CASE WHEN i % 3 = 0 "
                                          "THEN 'Значение ' ELSE 'Значение %1 ' END || i FROM n") +
                           QLatin1String(order));
        const ImportReport report = MLanguageTransfer::PreviewLanguage(project, 1049, source);
        ASSERT_EQ(report.checks.size(), 2000u);
        double last = 0;
        for (const CheckFinding& finding : report.checks) {
            EXPECT_EQ(finding.check, TranslationChecks::Check::Placeholders);
            EXPECT_EQ(static_cast<int64_t>(finding.id) % 3, 0) << finding.id;
            ASSERT_GT(finding.id, last) << "listed twice or out of the update's order";
            last = finding.id;
            EXPECT_EQ(finding.reference,
                      QStringLiteral("Wert %1 von ") + QString::number(finding.id));
        }
    }
    CodePage::SetSystemAnsiCodePage(std::nullopt);
}

}  // namespace
