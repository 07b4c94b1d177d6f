#include "CodePage.h"
#include "DBEngine.h"
#include "ImportReport.h"
#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "TestSupport.h"
#include "UndoStore.h"
#include "WorkbookWriter.h"
#include "ZipWriter.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace {

using MLanguageTransfer::ImportLanguage;
using MLanguageTransfer::PreviewLanguage;

template <typename List>
std::vector<int64_t> Places(const List& rows) {
    std::vector<int64_t> places;
    for (const auto& row : rows) places.push_back(row.row);
    return places;
}

template <typename List>
std::vector<QString> Ids(const List& rows) {
    std::vector<QString> ids;
    for (const auto& row : rows) ids.push_back(row.id);
    return ids;
}

// A workbook with the sheet TidxTexts: ID and one language column, one row per entry.
void WriteWorkbook(const QString& path, const QString& column,
                   const std::vector<std::pair<QByteArray, QString>>& rows) {
    using namespace Biff;
    QByteArray cells = Label8(0, 0, QStringLiteral("ID")) + Label8(0, 1, column);
    uint16_t r = 1;
    for (const auto& [id, text] : rows) {
        cells += id.startsWith('#') ? Number(r, 0, id.mid(1).toDouble())
                                    : Label8(r, 0, QString::fromUtf8(id));
        cells += Label8(r, 1, text);
        ++r;
    }
    WriteCompoundFile(path, WorkbookStream(8, {}, {{QStringLiteral("TidxTexts"), cells}}), 8);
}

class ImportReportTest : public testing::Test {
  protected:
    void SetUp() override {
        CodePage::SetSystemAnsiCodePage(1252);
        project = folder.Path(QStringLiteral("Demo.qrp"));
        WriteProject(project, {{0, "null", {}, {}},
                               {1, "Datei", {}, {}},
                               {2, "alt", {}, {}},
                               {3, "alt", {}, {}},
                               {4, {}, {}, {}},
                               {5, "2024", {}, {}},
                               {6, "alt", {}, {}}});
    }
    void TearDown() override { CodePage::SetSystemAnsiCodePage(std::nullopt); }

    // A database source with the given rows, values as SQL literals.
    QString DatabaseSource(const QString& name, const QString& values) {
        const QString path = folder.Path(name);
        RunSql(path, QStringLiteral("CREATE TABLE TidxTexts(ID, L1031); INSERT INTO TidxTexts "
                                    "VALUES ") +
                         values);
        return path;
    }

    TempFolder folder;
    QString project;
    MessageRecorder messages;
};

TEST_F(ImportReportTest, CountsEveryKindOfRow) {
    const QString source = DatabaseSource(
        QStringLiteral("Quelle.qrp"),
        QStringLiteral("(1, 'Datei'), (2, 'neu'), (3, NULL), (4, NULL), (5, 2024), (NULL, 'x'),"
                       "(' 9 ', 'neun'), (6.0, 'sechs'), ('70abc', 'siebzig')"));
    const ImportReport report = ImportLanguage(project, 1031, source);
    const UpdateTally& rows = report.rows;
    EXPECT_TRUE(report.written);
    EXPECT_EQ(rows.sourceRows, 9);
    EXPECT_EQ(rows.nullKeys, 1);
    EXPECT_EQ(rows.matched, 6);
    EXPECT_EQ(rows.changed, 3) << "2, 3 and 6";
    EXPECT_EQ(rows.setToNull, 1) << "3; 4 was Null already";
    EXPECT_EQ(rows.unchanged, 3) << "1, 4, and the number 2024 in a text column";
    EXPECT_EQ(Ids(rows.unmatched),
              std::vector<QString>({QStringLiteral(" 9 "), QStringLiteral("70abc")}))
        << "IDs as written, blanks kept";
    EXPECT_EQ(Places(rows.unmatched), std::vector<int64_t>({7, 9}));
    EXPECT_TRUE(rows.noNumber.empty());
    EXPECT_TRUE(rows.duplicates.empty());
    EXPECT_TRUE(report.HasFindings()) << "rows without a project row";
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031"))[5], Variant("2024"));
    EXPECT_EQ(report.Summary(),
              QStringLiteral("3 Texte geändert (davon 1 auf Null gesetzt), 3 unverändert, 2 Zeilen "
                             "der Quelle ohne passenden Text im Projekt, 1 Zeile ohne ID "
                             "übergangen."));
}

TEST_F(ImportReportTest, TheLastOfSeveralRowsWithOneIdWins) {
    // Project row 2 holds "alt"; the rows for ID 2 come as a number, a text with
    // blanks, a float and a text with letters after the number.
    const QString source =
        DatabaseSource(QStringLiteral("Quelle.qrp"),
                       QStringLiteral("(2, 'erste'), (3, 'drei'), (' 2', 'zweite'), (2.0, 'alt'),"
                                      "('2x', 'letzte'), (3, 'drei')"));
    const ImportReport report = ImportLanguage(project, 1031, source);
    auto texts = ReadColumn(project, QStringLiteral("L1031"));
    EXPECT_EQ(texts[2], Variant("letzte"));
    EXPECT_EQ(texts[3], Variant("drei"));
    const UpdateTally& rows = report.rows;
    EXPECT_EQ(rows.matched, 2) << "a project row counts once, however many rows name it";
    EXPECT_EQ(rows.changed, 2) << "against the text before the import";
    EXPECT_EQ(rows.unchanged, 0);
    ASSERT_EQ(rows.duplicates.size(), 2u);
    EXPECT_EQ(rows.duplicates[0].key, 2.0);
    EXPECT_EQ(Places(rows.duplicates[0].rows), std::vector<int64_t>({1, 3, 4, 5}));
    EXPECT_EQ(Ids(rows.duplicates[0].rows),
              std::vector<QString>({QStringLiteral("2"), QStringLiteral(" 2"), QStringLiteral("2"),
                                    QStringLiteral("2x")}));
    EXPECT_EQ(rows.duplicates[0].Winner().row, 5);
    EXPECT_EQ(Places(rows.duplicates[1].rows), std::vector<int64_t>({2, 6}));
    EXPECT_TRUE(rows.unmatched.empty());
    EXPECT_TRUE(report.Details().contains(
        QStringLiteral("ID 2: Zeile 1 (\u201E2\u201C), Zeile 3 (\u201E 2\u201C), Zeile 4 "
                       "(\u201E2\u201C), Zeile 5 (\u201E2x\u201C) \u2013 es gilt Zeile 5")));

    // The same rule for rows held in memory (a workbook), also when the last row sets the old text.
    QFile::remove(project);
    WriteProject(project, {{2, "alt", {}, {}}});
    const QString workbook = folder.Path(QStringLiteral("Quelle.xls"));
    WriteWorkbook(workbook, QStringLiteral("L1031"),
                  {{"#2", QStringLiteral("neu")}, {"2", QStringLiteral("alt")}});
    const ImportReport again = ImportLanguage(project, 1031, workbook);
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031"))[2], Variant("alt"));
    EXPECT_EQ(again.rows.unchanged, 1);
    EXPECT_EQ(again.rows.changed, 0);
    EXPECT_EQ(again.Summary(), QStringLiteral("Kein Text wurde geändert: Der passende Text hatte "
                                              "diesen Wert schon. 1 ID mehrfach in der Quelle "
                                              "(die letzte Zeile gilt)."));
}

TEST_F(ImportReportTest, IdsWithoutANumberGoToRowZero) {
    const QString source = DatabaseSource(
        QStringLiteral("Quelle.mdb"),
        QStringLiteral("('abc', 'erste'), ('&H', 'zweite'), ('0', 'null'), ('Zahl 7', 'letzte')"));
    const ImportReport report = ImportLanguage(project, 1031, source);
    ASSERT_EQ(report.rows.noNumber.size(), 3u) << "\"0\" is a number";
    EXPECT_EQ(report.rows.noNumber[0].source.id, QStringLiteral("abc"));
    EXPECT_EQ(report.rows.noNumber[1].source.id, QStringLiteral("&H"));
    EXPECT_EQ(report.rows.noNumber[2].source.row, 4);
    EXPECT_FALSE(report.rows.noNumber[0].applied) << "a later row with ID 0 replaced it";
    EXPECT_FALSE(report.rows.noNumber[1].applied);
    EXPECT_TRUE(report.rows.noNumber[2].applied);
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031"))[0], Variant("letzte"));
    EXPECT_EQ(report.rows.duplicates.size(), 1u);

    // Without a row 0 they go nowhere, and match nothing.
    RunSql(project, QStringLiteral("DELETE FROM TidxTexts WHERE ID = 0"));
    const ImportReport without = ImportLanguage(project, 1031, source);
    for (const auto& row : without.rows.noNumber) EXPECT_FALSE(row.applied);
    EXPECT_EQ(without.rows.unmatched.size(), 4u);
    EXPECT_EQ(without.Summary(),
              QStringLiteral("Kein Text wurde geändert: Keine ID der Quelle passt zu einem Text im "
                             "Projekt. 4 Zeilen der Quelle ohne passenden Text im Projekt, 3 IDs "
                             "ohne Zahl, 1 ID mehrfach in der Quelle (die letzte Zeile gilt)."));
}

TEST_F(ImportReportTest, CharactersTheCodePageLacksAreListed) {
    const QString german = folder.Path(QStringLiteral("de.xls"));
    WriteWorkbook(
        german, QStringLiteral("L1031"),
        {{"#1", QStringLiteral("\u221E \u0100 \uFF21 \u3042 ?")}, {"#2", QStringLiteral("Größe")}});
    const ImportReport report = ImportLanguage(project, 1031, german);
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031"))[1], Variant("8 A A ? ?"));
    ASSERT_EQ(report.lossy.size(), 1u) << "\"Größe\" is all of code page 1252";
    const LossyText& lossy = report.lossy[0];
    EXPECT_EQ(lossy.id, 1.0);
    EXPECT_EQ(lossy.row, 1);
    ASSERT_EQ(lossy.characters.size(), 4u) << "a \"?\" of the text is no loss";
    EXPECT_EQ(lossy.characters[0].character, U'\u221E');
    EXPECT_EQ(lossy.characters[0].replacement, QStringLiteral("8"));
    EXPECT_TRUE(lossy.characters[0].bestFit);
    EXPECT_EQ(lossy.characters[1].replacement, QStringLiteral("A"));
    EXPECT_EQ(lossy.characters[2].character, U'\uFF21');
    EXPECT_TRUE(lossy.characters[2].bestFit);
    EXPECT_EQ(lossy.characters[3].character, U'\u3042');
    EXPECT_EQ(lossy.characters[3].replacement, QStringLiteral("?"));
    EXPECT_FALSE(lossy.characters[3].bestFit);
    EXPECT_TRUE(report.Details().contains(
        QStringLiteral("ID 1: \u201E\u221E\u201C (U+221E) wurde \u201E8\u201C;")));

    // Russian: "Да" is all of code page 1251 and is stored as its bytes read in 1252;
    // "ü" is not, and becomes the "u" Windows puts in its place.
    QFile::remove(project);
    WriteProject(project, {{1, {}, {}, {}}, {2, {}, {}, {}}});
    const QString russian = folder.Path(QStringLiteral("ru.xls"));
    WriteWorkbook(russian, QStringLiteral("L1049"),
                  {{"#1", QStringLiteral("Да")}, {"#2", QStringLiteral("Mü")}});
    const ImportReport ru = ImportLanguage(project, 1049, russian);
    const auto texts = ReadColumn(project, QStringLiteral("L1049"));
    EXPECT_EQ(texts.at(1), Variant(QString::fromUtf16(u"\u00C4\u00E0")));
    EXPECT_EQ(texts.at(2), Variant("Mu"));
    ASSERT_EQ(ru.lossy.size(), 1u);
    EXPECT_EQ(ru.lossy[0].id, 2.0);
    EXPECT_EQ(ru.lossy[0].characters.size(), 1u);
    EXPECT_EQ(ru.lossy[0].characters[0].replacement, QStringLiteral("u"));
}

TEST_F(ImportReportTest, OnlyTheWinnersTextCountsForTheCodePage) {
    const QString source = folder.Path(QStringLiteral("de.xls"));
    WriteWorkbook(source, QStringLiteral("L1031"),
                  {{"#1", QStringLiteral("\u221E")}, {"#1", QStringLiteral("acht")}});
    const ImportReport report = ImportLanguage(project, 1031, source);
    EXPECT_TRUE(report.lossy.empty());
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031"))[1], Variant("acht"));
}

// The texts are converted ahead of the update, as the source is read: what the
// code page would do to a row that matches no text, or has no ID, is no loss.
TEST_F(ImportReportTest, OnlyTheTextsOfMatchedRowsAreListedAsLost) {
    struct Case {
        const char* name;
        QStringList rows;             // ID and text as SQL literals
        std::vector<int64_t> listed;  // the places of the texts listed, ascending
    };
    QStringList many;  // more unmatched rows than the lists keep in memory
    for (int id = 1000; id < 6000; ++id) many << QStringLiteral("(%1, 'Ğ %1')").arg(id);
    many << QStringLiteral("(2, 'Ğ zwei')");
    const std::vector<Case> cases = {
        {"ascending",
         {"(1, 'Ğ eins')", "(3, 'Ğ drei')", "(NULL, 'Ğ ohne')", "(99, 'Ğ fehlt')"},
         {1, 2}},
        {"mixed",
         {"(99, 'Ğ fehlt')", "(3, 'Ğ drei')", "(NULL, 'Ğ ohne')", "(1, 'Ğ eins')"},
         {2, 4}},
        {"only unmatched", {"(99, 'Ğ fehlt')", "(98, 'Ğ fehlt')"}, {}},
        {"many unmatched", many, {5001}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString source =
            DatabaseSource(QStringLiteral("%1.mdb").arg(c.name), c.rows.join(u','));
        const QString copy = folder.Path(QStringLiteral("%1.qrp").arg(c.name));
        QFile::copy(project, copy);
        for (const bool preview : {true, false}) {
            const ImportReport report =
                preview ? PreviewLanguage(copy, 1031, source) : ImportLanguage(copy, 1031, source);
            std::vector<int64_t> listed = Places(report.lossy);
            std::sort(listed.begin(), listed.end());
            EXPECT_EQ(listed, c.listed) << (preview ? "preview" : "import");
        }
    }
    // A workbook's rows are read the same way.
    const QString workbook = folder.Path(QStringLiteral("Fehlend.xls"));
    WriteWorkbook(workbook, QStringLiteral("L1031"),
                  {{"#77", QStringLiteral("∞")}, {"#4", QStringLiteral("∞ vier")}});
    const ImportReport report = ImportLanguage(project, 1031, workbook);
    EXPECT_EQ(Places(report.lossy), std::vector<int64_t>({2}));
    EXPECT_EQ(Places(report.rows.unmatched), std::vector<int64_t>({1}));
}

TEST_F(ImportReportTest, PreviewWritesNothingAndReportsTheSame) {
    const QString source = DatabaseSource(
        QStringLiteral("Quelle.mdb"),
        QStringLiteral("(1, 'Дa'), (2, 'neu'), (2, '∞'), ('x', 'null'), (99, 'fehlt')"));
    const QByteArray before = FileBytes(project);
    const ImportReport preview = PreviewLanguage(project, 1031, source);
    EXPECT_EQ(FileBytes(project), before);
    EXPECT_EQ(TableNames(project), std::vector<QString>({QStringLiteral("TidxTexts")}))
        << "no link left";
    EXPECT_FALSE(preview.written);
    EXPECT_TRUE(preview.Summary().startsWith(QStringLiteral("Vorschau, nichts geschrieben: ")));

    const ImportReport import = ImportLanguage(project, 1031, source);
    EXPECT_EQ(preview.rows.matched, import.rows.matched);
    EXPECT_EQ(preview.rows.changed, import.rows.changed);
    EXPECT_EQ(preview.rows.unchanged, import.rows.unchanged);
    EXPECT_EQ(Ids(preview.rows.unmatched), Ids(import.rows.unmatched));
    EXPECT_EQ(preview.rows.noNumber.size(), import.rows.noNumber.size());
    EXPECT_EQ(preview.rows.duplicates.size(), 1u);
    EXPECT_EQ(preview.lossy.size(), import.lossy.size());
    EXPECT_EQ(import.lossy.size(), 2u) << "\"Д\" and \"∞\"";
    EXPECT_NE(FileBytes(project), before);
}

TEST_F(ImportReportTest, PreviewOfAProjectThatCannotBeWritten) {
    // A link left by an aborted import stays as it is; the preview's own link is
    // never written.
    RunSql(project,
           QStringLiteral("CREATE TABLE MSysLinks(Name TEXT PRIMARY KEY COLLATE NOCASE, "
                          "Connect TEXT NOT NULL, SourceTableName TEXT NOT NULL);"
                          "INSERT INTO MSysLinks VALUES ('TidxTemp', ';DATABASE=/weg.qrp', "
                          "'TidxTexts')"));
    const QString source =
        DatabaseSource(QStringLiteral("Quelle.qrp"), QStringLiteral("(1, 'eins'), (2, 'zwei')"));
    QFile::setPermissions(project, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QByteArray before = FileBytes(project);
    const ImportReport preview = PreviewLanguage(project, 1031, source);
    EXPECT_EQ(preview.rows.changed, 2);
    EXPECT_EQ(FileBytes(project), before);
    QFile::setPermissions(project, QFile::ReadOwner | QFile::WriteOwner);
}

TEST_F(ImportReportTest, FailuresThrowNamedErrorsAndChangeNothing) {
    const QByteArray before = FileBytes(project);
    EXPECT_EQ(ErrorNumberOf([&] { PreviewLanguage(project, 1031, folder.Path("fehlt.xls")); }),
              ErrorNumber::FileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { ImportLanguage(project, 1031, folder.Path("fehlt.qrp")); }),
              ErrorNumber::FileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { PreviewLanguage(project, 1036, project); }),
              ErrorNumber::FieldNotFound);
    EXPECT_EQ(FileBytes(project), before);
    EXPECT_TRUE(messages.messages.empty()) << "the core shows no message";
}

TEST_F(ImportReportTest, LargeCountsAreWrittenTheGermanWay) {
    RunSql(project, QStringLiteral("DELETE FROM TidxTexts;"
                                   "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                   "WHERE i < 1204) INSERT INTO TidxTexts(ID, L1031) "
                                   "SELECT i, 'alt' FROM n"));
    const QString source = folder.Path(QStringLiteral("Quelle.qrp"));
    RunSql(source, QStringLiteral("CREATE TABLE TidxTexts(ID, L1031);"
                                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                  "WHERE i < 2408) INSERT INTO TidxTexts SELECT i, 'neu' FROM n"));
    const ImportReport report = ImportLanguage(project, 1031, source);
    EXPECT_EQ(report.Summary(), QStringLiteral("1.204 Texte geändert, 1.204 Zeilen der Quelle ohne "
                                               "passenden Text im Projekt."));
    const QString details = report.Details(1000);
    EXPECT_TRUE(details.contains(
        QStringLiteral("Zeilen der Quelle ohne passenden Text im Projekt (1.204):\n")));
    EXPECT_TRUE(details.contains(QStringLiteral("  Zeile 2.204: ID \u201E2204\u201C\n")));
    EXPECT_FALSE(details.contains(QStringLiteral("Zeile 2.205:"))) << "the first 1,000 only";
    EXPECT_TRUE(details.endsWith(QStringLiteral("  und 204 weitere")));
}

TEST_F(ImportReportTest, AnEmptySourceSaysSo) {
    const QString source = folder.Path(QStringLiteral("Quelle.qrp"));
    RunSql(source, QStringLiteral("CREATE TABLE TidxTexts(ID, L1031); INSERT INTO TidxTexts "
                                  "VALUES (NULL, 'ohne')"));
    EXPECT_EQ(ImportLanguage(project, 1031, source).Summary(),
              QStringLiteral("Kein Text wurde geändert: Die Quelle enthält keine Zeile mit ID. 1 "
                             "Zeile ohne ID übergangen."));
}

}  // namespace

namespace {

class RowOrderTest : public ImportReportTest {};

// Repeated IDs beyond what the lists keep in memory, read ordered by key: the
// IDs listed by their first rows, each with its rows in the source's order, and
// of the rows a later one replaced no lost character is reported.
TEST_F(RowOrderTest, ManyRepeatedIdsAreListedInTheSourcesOrder) {
    constexpr int kIds = 5000;
    QStringList values;
    // Every ID twice, descending: the update reads them ordered by key. IDs 1
    // to 6 are the project's: their first texts lose a character, the second ones not.
    for (const int pass : {0, 1})
        for (int id = kIds; id >= 1; --id)
            values << QStringLiteral("(%1, '%2 %1')").arg(id).arg(pass == 0 ? u"Ğ" : u"G");
    const ImportReport report = ImportLanguage(
        project, 1031, DatabaseSource(QStringLiteral("Doppelt.mdb"), values.join(u',')));
    ASSERT_EQ(report.rows.duplicates.size(), static_cast<size_t>(kIds));
    int64_t n = 0;
    for (const UpdateTally::Duplicate& duplicate : report.rows.duplicates) {
        EXPECT_EQ(duplicate.key, static_cast<double>(kIds - n)) << n;
        EXPECT_EQ(Places(duplicate.rows), std::vector<int64_t>({n + 1, n + 1 + kIds})) << n;
        EXPECT_EQ(duplicate.Winner().row, n + 1 + kIds);
        ++n;
    }
    EXPECT_EQ(n, kIds);
    EXPECT_TRUE(report.lossy.empty()) << "only replaced rows lost characters";
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031"))[3], Variant("G 3"));

    // One ID in more rows than the list keeps in memory, then a smaller one.
    QStringList many;
    for (int i = 0; i < kIds; ++i) many << QStringLiteral("(2, 'Text %1')").arg(i);
    many << QStringLiteral("(1, 'eins')");
    const ImportReport one =
        ImportLanguage(project, 1031, DatabaseSource(QStringLiteral("Einer.mdb"), many.join(u',')));
    ASSERT_EQ(one.rows.duplicates.size(), 1u);
    const UpdateTally::Duplicate only = one.rows.duplicates[0];
    ASSERT_EQ(only.rows.size(), static_cast<size_t>(kIds));
    std::vector<int64_t> places(kIds);
    std::iota(places.begin(), places.end(), 1);
    EXPECT_EQ(Places(only.rows), places);
    EXPECT_EQ(only.Winner().row, kIds);
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031"))[2], Variant("Text 4999"));
}

// IDs without a number beyond what the list keeps in memory (a column of names
// taken for IDs): every one listed in the source's order, read in it or sorted
// first; only the last row with key 0 goes to project row 0.
TEST_F(RowOrderTest, ManyIdsWithoutANumberAreListedInTheSourcesOrder) {
    constexpr int kRows = 5000;
    struct Case {
        const char* name;
        bool outOfOrder;  // a row with ID 1 first: the update reads the rows sorted
        bool zeroLast;    // a row "0" after them: it replaces them all
    };
    for (const Case& c :
         {Case{"in order", false, false}, Case{"sorted", true, false},
          Case{"in order, 0 last", false, true}, Case{"sorted, 0 last", true, true}}) {
        SCOPED_TRACE(c.name);
        QStringList values;
        if (c.outOfOrder) values << QStringLiteral("(1, 'eins')");
        for (int i = 0; i < kRows; ++i) values << QStringLiteral("('Name%1', 'Text %1')").arg(i);
        if (c.zeroLast) values << QStringLiteral("('0', 'null')");
        if (!c.outOfOrder) values << QStringLiteral("(1, 'eins')");
        const QString source =
            DatabaseSource(QStringLiteral("%1.mdb").arg(c.name), values.join(u','));
        const QString copy = folder.Path(QStringLiteral("%1.qrp").arg(c.name));
        QFile::copy(project, copy);
        const ImportReport report = ImportLanguage(copy, 1031, source);
        ASSERT_EQ(report.rows.noNumber.size(), static_cast<size_t>(kRows));
        const int64_t first = c.outOfOrder ? 2 : 1;  // the place of Name0
        int64_t n = 0;
        for (const UpdateTally::NoNumber& row : report.rows.noNumber) {
            EXPECT_EQ(row.source.row, first + n) << n;
            EXPECT_EQ(row.source.id, QStringLiteral("Name%1").arg(n));
            EXPECT_EQ(row.applied, n == kRows - 1 && !c.zeroLast) << n;
            ++n;
        }
        EXPECT_EQ(ReadColumn(copy, QStringLiteral("L1031"))[0],
                  Variant(c.zeroLast ? "null" : "Text 4999"));
    }
}

TEST_F(RowOrderTest, RowsInAnyOrderGiveTheSameResult) {
    const QString sorted = DatabaseSource(
        QStringLiteral("Sortiert.qrp"),
        QStringLiteral("(1, 'eins'), (2, 'zwei'), (2, 'ZWEI'), (3, 'Ğ drei'), (99, 'fehlt')"));
    const QString mixed = DatabaseSource(
        QStringLiteral("Gemischt.mdb"),
        QStringLiteral("(3, 'Ğ drei'), (2, 'zwei'), (99, 'fehlt'), (1, 'eins'), (2, 'ZWEI')"));
    const QString other = folder.Path(QStringLiteral("Zweites.qrp"));
    QFile::copy(project, other);
    const auto before = ReadColumn(project, QStringLiteral("L1031"));

    const ImportReport a = ImportLanguage(project, 1031, sorted);
    const ImportReport b = ImportLanguage(other, 1031, mixed);
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031"))[2], Variant("ZWEI"));
    EXPECT_EQ(ReadColumn(other, QStringLiteral("L1031"))[2], Variant("ZWEI"))
        << "the last row wins";
    EXPECT_EQ(ReadColumn(other, QStringLiteral("L1031"))[3], Variant("G drei"));
    EXPECT_EQ(a.rows.matched, b.rows.matched);
    EXPECT_EQ(a.rows.changed, b.rows.changed);
    EXPECT_EQ(b.rows.sourceRows, 5);
    ASSERT_EQ(b.rows.unmatched.size(), 1u);
    EXPECT_EQ(b.rows.unmatched[0].row, 3) << "its place in the mixed source";
    ASSERT_EQ(b.rows.duplicates.size(), 1u);
    EXPECT_EQ(Places(b.rows.duplicates[0].rows), std::vector<int64_t>({2, 5}));
    ASSERT_EQ(b.lossy.size(), 1u) << "converted once, the first run's findings forgotten";
    EXPECT_EQ(b.lossy[0].row, 1);

    // The undo data of the import that had to order its rows is whole.
    const UndoStore::UndoResult undone = UndoStore::UndoLast(other, false);
    EXPECT_TRUE(undone.conflicts.empty());
    EXPECT_EQ(ReadColumn(other, QStringLiteral("L1031")), before);
}

TEST_F(RowOrderTest, AWorkbookInAnyOrder) {
    const QString workbook = folder.Path(QStringLiteral("Gemischt.xls"));
    WriteWorkbook(workbook, QStringLiteral("L1031"),
                  {{"#3", QStringLiteral("drei")},
                   {"#1", QStringLiteral("eins")},
                   {"3", QStringLiteral("DREI")},
                   {"#50", QStringLiteral("fehlt")},
                   {"#2", QStringLiteral("\u221E")}});
    const ImportReport report = ImportLanguage(project, 1031, workbook);
    const auto texts = ReadColumn(project, QStringLiteral("L1031"));
    EXPECT_EQ(texts.at(3), Variant("DREI"));
    EXPECT_EQ(texts.at(2), Variant("8"));
    ASSERT_EQ(report.rows.duplicates.size(), 1u);
    EXPECT_EQ(Places(report.rows.duplicates[0].rows), std::vector<int64_t>({1, 3}));
    EXPECT_EQ(Ids(report.rows.duplicates[0].rows),
              std::vector<QString>({QStringLiteral("3"), QStringLiteral("3")}));
    ASSERT_EQ(report.rows.unmatched.size(), 1u);
    EXPECT_EQ(report.rows.unmatched[0].row, 4);
    EXPECT_EQ(report.rows.changed, 3);
    ASSERT_EQ(report.lossy.size(), 1u);
    EXPECT_EQ(report.lossy[0].row, 5);
}

TEST_F(RowOrderTest, ATableWithoutRowIdsIsReadToo) {
    const QString source = folder.Path(QStringLiteral("Ohne.qrp"));
    RunSql(source, QStringLiteral("CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031) WITHOUT "
                                  "ROWID; INSERT INTO TidxTexts VALUES (2, 'zwei'), (1, 'eins'), "
                                  "(77, 'fehlt')"));
    const ImportReport report = ImportLanguage(project, 1031, source);
    EXPECT_EQ(report.rows.changed, 2);
    ASSERT_EQ(report.rows.unmatched.size(), 1u);
    EXPECT_EQ(report.rows.unmatched[0].row, 3) << "numbered as read";
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031"))[2], Variant("zwei"));
}

}  // namespace

namespace {

// An .xlsx sheet is read on a thread of its own while the import begins with
// its first rows: every shape of sheet gives what its table read whole gives.
class StreamedSheetTest : public ImportReportTest {
  protected:
    QString Workbook(const QString& name, const QByteArray& rows,
                     const QByteArray& strings =
                         "<sst xmlns=\"http://schemas.openxmlformats.org/"
                         "spreadsheetml/2006/main\"/>") {
        const QString path = folder.Path(name + u".xlsx"_qs);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            XlsxContainer("<worksheet xmlns=\"http://schemas.openxmlformats.org/"
                          "spreadsheetml/2006/main\"><sheetData>" +
                              rows + "</sheetData></worksheet>",
                          strings));
        return path;
    }
    // A row of the ID (a number) and its text in columns A and B.
    static QByteArray Row(int row, int id, const char* text) {
        return QStringLiteral(
                   "<row r=\"%1\"><c r=\"A%1\"><v>%2</v></c><c r=\"B%1\" "
                   "t=\"inlineStr\"><is><t>%3</t></is></c></row>")
            .arg(row)
            .arg(id)
            .arg(QString::fromUtf8(text))
            .toUtf8();
    }
    static QByteArray Header(const char* key = "ID") {
        return QStringLiteral(
                   "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>%1</t></is></c>"
                   "<c r=\"B1\" t=\"inlineStr\"><is><t>L1031</t></is></c></row>")
            .arg(QString::fromUtf8(key))
            .toUtf8();
    }
};

TEST_F(StreamedSheetTest, RowsInAnyOrderGiveTheSameResult) {
    struct Case {
        const char* name;
        QByteArray rows;
    };
    const std::vector<Case> cases = {
        {"in order", Header() + Row(2, 1, "Ğ eins") + Row(3, 3, "drei") + Row(4, 99, "fehlt")},
        {"out of order", Header() + Row(2, 3, "drei") + Row(3, 1, "Ğ eins") + Row(4, 99, "fehlt")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString copy = folder.Path(QStringLiteral("%1.qrp").arg(c.name));
        QFile::copy(project, copy);
        const ImportReport report = ImportLanguage(copy, 1031, Workbook(c.name, c.rows));
        const auto texts = ReadColumn(copy, QStringLiteral("L1031"));
        EXPECT_EQ(texts.at(1), Variant("G eins"));
        EXPECT_EQ(texts.at(3), Variant("drei"));
        EXPECT_EQ(report.rows.changed, 2);
        ASSERT_EQ(report.rows.unmatched.size(), 1u);
        EXPECT_EQ(report.rows.unmatched[0].id, QStringLiteral("99"));
        ASSERT_EQ(report.lossy.size(), 1u);
        EXPECT_EQ(report.lossy[0].id, 1.0);
    }
}

// Faults found after the first rows were imported: the import fails with the
// error the sheet read whole fails with, and the project is as it was.
TEST_F(StreamedSheetTest, FaultsFoundLateFailTheImportAsEarlyOnes) {
    QByteArray many = Header();
    for (int r = 2; r < 9000; ++r) many += Row(r, r < 8 ? r - 1 : r + 100, "Text");
    const QByteArray missingText =
        "<row r=\"9000\"><c r=\"A9000\"><v>5</v></c><c r=\"B9000\" "
        "t=\"s\"><v>7</v></c></row>";
    const QByteArray missingElsewhere =
        "<row r=\"9000\"><c r=\"A9000\"><v>5</v></c><c "
        "r=\"C9000\" t=\"s\"><v>7</v></c></row>";
    struct Case {
        const char* name;
        QByteArray rows;
        int number;  // 0: imported
    };
    const std::vector<Case> cases = {
        {"damaged XML", many + "<row r=\"9000\"><c r=\"A9000\"><v>5</v></row>",
         ErrorNumber::ExternalFormat},
        {"a missing text in the language's column", many + missingText,
         ErrorNumber::ExternalFormat},
        {"a missing text in another column", many + missingElsewhere, 0},
        {"no ID heading", Header("Nummer") + Row(2, 1, "eins"), ErrorNumber::FieldNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray before = FileBytes(project);
        const QString source = Workbook(QString::fromUtf8(c.name), c.rows);
        const int number = ErrorNumberOf([&] { ImportLanguage(project, 1031, source); });
        EXPECT_EQ(number, c.number);
        EXPECT_EQ(number == 0, FileBytes(project) != before);
        if (number == 0) {  // the last row's ID 5 has no text: Null
            EXPECT_EQ(ReadColumn(project, QStringLiteral("L1031"))[5], Variant());
        }
        QFile::remove(project);
        SetUp();
    }
}

TEST_F(StreamedSheetTest, CancellingWhileTheSheetIsReadChangesNothing) {
    QByteArray many = Header();
    for (int r = 2; r < 20000; ++r) many += Row(r, r, "Text");
    const QString source = Workbook(u"Lang"_qs, many);
    const QByteArray before = FileBytes(project);
    std::vector<std::pair<int64_t, int64_t>> reported;
    const int number = ErrorNumberOf([&] {
        ImportLanguage(project, 1031, source, [&](int64_t done, int64_t total) {
            reported.emplace_back(done, total);
            return false;
        });
    });
    EXPECT_EQ(number, ErrorNumber::Cancelled);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_GE(reported[0].second, reported[0].first) << "the rows read so far";
    EXPECT_EQ(FileBytes(project), before);
}

}  // namespace
