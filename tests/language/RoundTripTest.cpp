// Files that translators' programs save, imported back through the real command
// line: every text arrives as the translator saved it, and the report says how
// the file was read.
#include "CliRun.h"
#include "CodePage.h"
#include "TestSupport.h"
#include "UndoStore.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <optional>

namespace {

// What a project holds for a real text: its bytes in the language's code page
// read as the system's (1252) characters.
QString StoredForm(const QString& text, int32_t lcid) {
    return CodePage::Decode(CodePage::Encode(text, CodePage::DefaultAnsiCodePage(lcid)), 1252);
}

using Text = std::optional<QString>;  // nothing: Null

struct SavedFile {
    const char* what;
    const char* file;  // in the tests' data
    int32_t lcid;
    const char* encoding;            // as the report names it; null for a workbook
    std::map<int64_t, Text> before;  // the project's texts of the language, as real characters
    std::map<int64_t, Text> after;
    int changed;
};

const std::vector<SavedFile>& SavedFiles() {
    static const std::vector<SavedFile> files{
        {"a Russian .csv as Excel and LibreOffice save it: Windows-1251",
         "csv/texts-cp1251-semicolon-libreoffice.csv",
         1049,
         "Windows-1251",
         {{101, u"alt"_qs},
          {102, u"alt"_qs},
          {103, {}},
          {104, u"alt"_qs},
          {105, u"alt"_qs},
          {106, u"alt"_qs}},
         {{101, u"Сохранить"_qs},
          {102, u"Закрыть"_qs},
          {103, u"Ошибка: %1"_qs},
          {104, u"Да; нет"_qs},
          {105, u"«Цитата» — №1"_qs},
          {106, {}}},
         6},
        {"a Greek .csv: Windows-1253",
         "csv/texts-cp1253-semicolon-libreoffice.csv",
         1032,
         "Windows-1253",
         {{101, {}}, {102, {}}, {103, {}}, {104, {}}},
         {{101, u"Αποθήκευση"_qs},
          {102, u"Κλείσιμο"_qs},
          {103, u"Σφάλμα: %1"_qs},
          {104, u"Ναι"_qs}},
         4},
        {"a Japanese .csv: Shift-JIS",
         "csv/texts-cp932-semicolon-libreoffice.csv",
         1041,
         "Shift-JIS (Windows-932)",
         {{101, {}}, {102, {}}, {103, {}}, {104, {}}},
         {{101, u"保存"_qs}, {102, u"閉じる"_qs}, {103, u"エラー: %1"_qs}, {104, u"表示（Ｖ）"_qs}},
         4},
        {"a UTF-8 .csv with one byte of Windows-1252 in it",
         "csv/texts-utf8-invalid-byte.csv",
         1031,
         "UTF-8",
         {{1, u"alt"_qs}, {8, u"alt"_qs}},
         {{1, u"Datei"_qs}, {8, u"Größe: 5 € – „Anführung“"_qs}},
         2},
        {"our old export's =\"\" saved by LibreOffice as .xls (a cached 0)",
         "excel/old-export-empty-text-libreoffice.xls",
         1049,
         nullptr,
         {{1, u"alt"_qs}, {2, u""_qs}, {3, u"alt"_qs}},
         {{1, u"Файл"_qs}, {2, u""_qs}, {3, u"Правка"_qs}},
         2},
        {"our old export's =\"\" as the export wrote it",
         "xlsx/old-export-empty-text.xlsx",
         1049,
         nullptr,
         {{1, u"alt"_qs}, {2, u"alt"_qs}, {3, u"alt"_qs}},
         {{1, u"Файл"_qs}, {2, u""_qs}, {3, u"Правка"_qs}},
         3},
        {"uncached formulas of openpyxl, one in the reference column, one in the language's",
         "xlsx/uncached-formulas-openpyxl.xlsx",
         1049,
         nullptr,
         {{1, u"alt"_qs}, {2, u"alt"_qs}, {3, u"alt"_qs}, {4, u"alt"_qs}},
         {{1, u"Файл"_qs}, {2, u"Правка"_qs}, {3, {}}, {4, u"Сервис"_qs}},
         4},
    };
    return files;
}

// A project of the texts, in their stored form, in a column of the language.
void WriteProjectOf(const QString& path, int32_t lcid, const std::map<int64_t, Text>& texts) {
    const QString column = u"L%1"_qs.arg(lcid);
    QString sql = u"CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031 TEXT, %1 TEXT);"_qs.arg(
        lcid == 1031 ? u"L1049"_qs : column);
    for (const auto& [id, text] : texts)
        sql += u"INSERT INTO TidxTexts(ID, %1) VALUES (%2, %3);"_qs.arg(column).arg(id).arg(
            text ? u"'"_qs + StoredForm(*text, lcid) + u"'"_qs : u"NULL"_qs);
    RunSql(path, sql);
}

class RoundTripTest : public testing::Test {
  protected:
    TempFolder folder;
};

TEST_F(RoundTripTest, FilesOtherProgramsSavedImportExactlyTheirTexts) {
    for (const SavedFile& saved : SavedFiles()) {
        SCOPED_TRACE(saved.what);
        const QString project = folder.Path(u"P%1.qrp"_qs.arg(&saved - SavedFiles().data()));
        WriteProjectOf(project, saved.lcid, saved.before);
        const CliRun run = Cli({u"import"_qs, project, QString::number(saved.lcid),
                                TestData(QString::fromUtf8(saved.file)), u"--json"_qs});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QJsonObject report = run.Json();
        EXPECT_EQ(report[u"counts"_qs][u"changed"_qs].toInt(), saved.changed);
        EXPECT_EQ(report[u"counts"_qs][u"lossy"_qs].toInt(), 0);
        EXPECT_EQ(report[u"encoding"_qs].toString(),
                  saved.encoding ? QString::fromUtf8(saved.encoding) : QString());
        if (saved.encoding) {
            EXPECT_TRUE(report[u"summary"_qs].toString().endsWith(
                u" Gelesen als %1."_qs.arg(QString::fromUtf8(saved.encoding))))
                << report[u"summary"_qs].toString().toStdString();
        }
        const auto stored = ReadColumn(project, u"L%1"_qs.arg(saved.lcid));
        for (const auto& [id, text] : saved.after) {
            const Variant& value = stored.at(id);
            if (!text)
                EXPECT_TRUE(value.IsNull()) << id << " " << value.ToText().toStdString();
            else
                EXPECT_EQ(value, Variant(StoredForm(*text, saved.lcid))) << id;
        }
    }
}

TEST_F(RoundTripTest, TheByteThatIsNoUtf8IsAFindingWithItsLine) {
    const QString project = folder.Path(u"Demo.qrp"_qs);
    WriteProjectOf(project, 1031, {{8, u"alt"_qs}});
    const QString file = TestData(u"csv/texts-utf8-invalid-byte.csv"_qs);
    const CliRun check = Cli({u"check"_qs, project, u"1031"_qs, file, u"--json"_qs});
    EXPECT_EQ(check.exitCode, 3) << "check names it as a finding";
    const QJsonArray invalid = check.Json()[u"invalidBytes"_qs].toArray();
    ASSERT_EQ(invalid.size(), 1);
    EXPECT_EQ(invalid[0].toObject(),
              (QJsonObject{{u"line"_qs, 9}, {u"byte"_qs, u"0xF6"_qs}, {u"readAs"_qs, u"ö"_qs}}));
    const CliRun strict = Cli({u"import"_qs, project, u"1031"_qs, file, u"--strict"_qs});
    EXPECT_EQ(strict.exitCode, 3);
    EXPECT_TRUE(strict.out.contains(u"1 Byte, das kein UTF-8 ist"_qs)) << strict.out.toStdString();
    EXPECT_TRUE(strict.out.contains(u"Zeile 9: Byte 0xF6 als „ö“"_qs)) << strict.out.toStdString();
    EXPECT_EQ(ReadColumn(project, u"L1031"_qs).at(8), Variant(u"alt"_qs));
}

TEST_F(RoundTripTest, AnEncodingGivenByHandIsUsedAndAWrongOneIsNotSilent) {
    const QString project = folder.Path(u"Demo.qrp"_qs);
    WriteProjectOf(project, 1049,
                   {{101, u"alt"_qs},
                    {102, u"alt"_qs},
                    {103, u"alt"_qs},
                    {104, u"alt"_qs},
                    {105, u"alt"_qs},
                    {106, u"alt"_qs}});
    const QString file = TestData(u"csv/texts-cp1251-semicolon-libreoffice.csv"_qs);
    // Read as Windows-1252, the Cyrillic bytes become Latin letters Russian lacks.
    const CliRun wrong =
        Cli({u"check"_qs, project, u"1049"_qs, file, u"--encoding"_qs, u"windows-1252"_qs});
    EXPECT_EQ(wrong.exitCode, 3);
    EXPECT_TRUE(wrong.out.startsWith(
        u"Achtung: Die Textdatei wurde als Windows-1252 gelesen, doch 5 Texte haben Zeichen, die "
        "die Codepage der Sprache nicht kennt. Ist sie anders codiert?\n"_qs))
        << wrong.out.toStdString();
    const CliRun right =
        Cli({u"import"_qs, project, u"1049"_qs, file, u"--encoding=cp1251"_qs, u"--json"_qs});
    EXPECT_EQ(right.exitCode, 0);
    EXPECT_EQ(right.Json()[u"encoding"_qs].toString(), u"Windows-1251"_qs);
    EXPECT_EQ(ReadColumn(project, u"L1049"_qs).at(101), Variant(StoredForm(u"Сохранить"_qs, 1049)));

    for (const QStringList& usage :
         {QStringList{u"import"_qs, project, u"1049"_qs, file, u"--encoding"_qs, u"klingonisch"_qs},
          QStringList{u"import"_qs, project, u"1049"_qs,
                      TestData(u"excel/old-export-empty-text-libreoffice.xls"_qs),
                      u"--encoding=utf-8"_qs},
          QStringList{u"check"_qs, project, u"1049"_qs, file, u"--encoding"_qs}}) {
        const CliRun run = Cli(usage);
        EXPECT_EQ(run.exitCode, 2) << usage.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(u"--encoding"_qs) || run.err.contains(u"Kodierung"_qs))
            << run.err.toStdString();
    }
}

TEST_F(RoundTripTest, AnExportThatComesBackUnchangedChangesNothingAndLeavesNoUndo) {
    // The project the fixtures were exported from: an empty text and a Null one.
    for (const char* file :
         {"excel/export-empty-text-libreoffice.xls", "csv/export-empty-text-libreoffice.csv",
          "xlsx/export-empty-text.xlsx"}) {
        SCOPED_TRACE(file);
        const QString project = folder.Path(u"Demo.qrp"_qs);
        QFile::remove(project);
        WriteProjectOf(project, 1049, {{1, u"Файл"_qs}, {2, u""_qs}, {3, {}}, {4, u"Правка"_qs}});
        const auto before = ReadColumn(project, u"L1049"_qs);
        const CliRun run = Cli(
            {u"import"_qs, project, u"1049"_qs, TestData(QString::fromUtf8(file)), u"--json"_qs});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QJsonObject counts = run.Json()[u"counts"_qs].toObject();
        EXPECT_EQ(counts[u"changed"_qs].toInt(), 0);
        EXPECT_EQ(counts[u"setToNull"_qs].toInt(), 0);
        EXPECT_EQ(counts[u"unchanged"_qs].toInt(), 4);
        EXPECT_EQ(ReadColumn(project, u"L1049"_qs), before) << "Null and \"\" as they were";
        EXPECT_TRUE(UndoStore::List(project).empty()) << "an import of nothing is nothing to undo";
    }
}

TEST_F(RoundTripTest, EmptyTextFilesSayTheyAreEmpty) {
    const QString project = folder.Path(u"Demo.qrp"_qs);
    WriteProjectOf(project, 1049, {{1, u"alt"_qs}});
    for (const char* name : {"csv/empty.csv", "csv/bom-only.csv"}) {
        const QString file = TestData(QString::fromUtf8(name));
        const CliRun run = Cli({u"import"_qs, project, u"1049"_qs, file});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, u"Fehler 3274: Die Textdatei '%1' ist leer.\n"_qs.arg(file));
    }
}

TEST_F(RoundTripTest, UndoWithNothingLeftIsAnErrorWithItsNumber) {
    const QString project = folder.Path(u"Demo.qrp"_qs);
    WriteProjectOf(project, 1049, {{101, u"alt"_qs}, {102, u"alt"_qs}});
    const QString russian = TestData(u"csv/texts-cp1251-semicolon-libreoffice.csv"_qs);
    const CliRun none = Cli({u"undo"_qs, project});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err,
              u"Fehler 3021: Für das Projekt '%1' gibt es keinen Import, der sich "
              "zurücknehmen lässt.\n"_qs.arg(project));
    const CliRun json = Cli({u"undo"_qs, project, u"--json"_qs});
    EXPECT_EQ(json.Json()[u"error"_qs][u"number"_qs].toInt(), 3021);

    // The wrong file twice: the second import changes nothing and is no undo step,
    // so undo takes back the first.
    ASSERT_EQ(Cli({u"import"_qs, project, u"1049"_qs, russian}).exitCode, 0);
    ASSERT_EQ(Cli({u"import"_qs, project, u"1049"_qs, russian}).exitCode, 0);
    EXPECT_EQ(UndoStore::List(project).size(), 1u);
    const CliRun undo = Cli({u"undo"_qs, project});
    EXPECT_EQ(undo.exitCode, 0) << undo.err.toStdString();
    EXPECT_TRUE(undo.out.contains(u"2 Texte wiederhergestellt"_qs)) << undo.out.toStdString();
    EXPECT_EQ(ReadColumn(project, u"L1049"_qs).at(101), Variant(u"alt"_qs));
}

}  // namespace
