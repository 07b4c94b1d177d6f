#include "CodePage.h"
#include "LanguageExport.h"
#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

using MLanguageTransfer::ImportLanguage;
using MLanguageTransfer::PreviewLanguage;

// The languages of the test project, with texts that try what a file format can
// do to a text: separators, quotes, line breaks, blanks at the ends, texts that
// look like numbers, dates or formulas, the code page's special characters.
struct Language {
    int32_t lcid;
    std::vector<QString> texts;
};

const std::vector<Language>& Languages() {
    static const std::vector<Language> languages{
        {1031,
         {u"Datei"_qs, u"Größe: 5 €, „genau“"_qs, u"Zeile 1\nZeile 2"_qs, u"  Rand  "_qs,
          u"2024"_qs, u"0012"_qs, u"1.2.2024"_qs, u"=1+1"_qs, u"Sag \"ja\"; bitte"_qs,
          u"Straße\tTab_x0041_"_qs}},
        {1049,
         {u"Файл"_qs, u"Размер: 5 €"_qs, u"Ёлка, ёж"_qs, u"Строка 1\r\nСтрока 2"_qs, u"№ 7"_qs,
          u"«Да»"_qs, u"Привет мир"_qs, u"12"_qs, u"Выход"_qs, u"Правка"_qs}},
        {1032,
         {u"Αρχείο"_qs, u"Ένα, δύο"_qs, u"ΐΰ άέήί"_qs, u"Έξοδος"_qs, u"€ 5"_qs, u"Ω"_qs,
          u"Καλημέρα κόσμε"_qs, u"3,14"_qs, u"ς σ Σ"_qs, u"Ά"_qs}},
        {1041,
         {u"ファイル"_qs, u"漢字と\"かな\""_qs, u"ｶﾀｶﾅ"_qs, u"表示"_qs, u"￥１００"_qs,
          u"終了,閉じる"_qs, u"①"_qs, u"ソ"_qs, u"能力"_qs, u"予定\n明日"_qs}},
    };
    return languages;
}

// What a project holds for a real text: its bytes in the language's code page
// read as the system's (1252) characters.
QString StoredForm(const QString& text, int32_t lcid) {
    return CodePage::Decode(CodePage::Encode(text, CodePage::DefaultAnsiCodePage(lcid)), 1252);
}

QString SqlText(const QString& text) {
    return u"'"_qs + QString(text).replace(u"'"_qs, u"''"_qs) + u"'"_qs;
}

// The project's rows by ID: every language column as SQL sees it (quote()).
std::map<int64_t, QString> Snapshot(const QString& project) {
    std::map<int64_t, QString> rows;
    for (const auto& language : Languages()) {
        for (const auto& [id, value] :
             ReadColumn(project, u"L"_qs + QString::number(language.lcid))) {
            QString shown = value.IsNull() ? u"NULL"_qs : u"'"_qs + value.ToText() + u"'"_qs;
            rows[id] += shown + u"|"_qs;
        }
    }
    return rows;
}

// Reads an exported workbook with an independent reader: openpyxl for .xlsx,
// xlrd for .xls. Rows of [ID, texts...], empty cells as "", then a row of how
// the sheet looks.
QJsonArray ReadIndependently(const QString& path) {
    const QString script =
        uR"(
import json, re, sys
path = sys.argv[1]
# openpyxl leaves OOXML's escapes of control characters ("_x000D_") in inline strings.
def text(v):
    return re.sub('_x([0-9A-Fa-f]{4})_', lambda m: chr(int(m.group(1), 16)), v) if isinstance(v, str) else v
rows = []
if path.endswith('.xlsx'):
    import openpyxl
    sheet = openpyxl.load_workbook(path, data_only=True)['TidxTexts']
    for row in sheet.iter_rows(values_only=True):
        rows.append(['' if v is None else text(v) for v in row])
else:
    import xlrd
    sheet = xlrd.open_workbook(path).sheet_by_name('TidxTexts')
    rows = [sheet.row_values(i) for i in range(sheet.nrows)]
# How the sheet looks: the header bold and frozen, the texts in the text format "@".
if path.endswith('.xlsx'):
    look = [sheet.freeze_panes == 'A2', bool(sheet['A1'].font.b), sheet['C2'].number_format,
            bool(sheet['B2'].font.i)]
else:
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_name('TidxTexts')
    xf = lambda r, c: book.xf_list[sheet.cell_xf_index(r, c)]
    look = [bool(sheet.panes_are_frozen and sheet.horz_split_pos == 1),
            bool(book.font_list[xf(0, 0).font_index].bold),
            book.format_map[xf(1, 2).format_key].format_str,
            bool(book.font_list[xf(1, 1).font_index].italic)]
rows.append(look)
print(json.dumps(rows))
)"_qs;
    QProcess python;
    python.start(u"/usr/bin/python3"_qs, {u"-c"_qs, script, path});
    python.waitForFinished(60000);
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

class LanguageExportTest : public testing::Test {
  protected:
    void SetUp() override {
        CodePage::SetSystemAnsiCodePage(1252);
        project = folder.Path(u"Demo.qrp"_qs);
        // Rows in no particular order, IDs with gaps; row 90 has Null and empty texts.
        QString sql =
            u"CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031 TEXT, L1049 TEXT, "
            "L1032 TEXT, L1041 TEXT);"_qs;
        const std::vector<int64_t> ids{7, 3, 100000, 1, 5, 42, 8, 2, 6, 4};
        for (size_t row = 0; row < ids.size(); ++row) {
            sql += u"INSERT INTO TidxTexts VALUES (%1"_qs.arg(ids[row]);
            for (const auto& language : Languages())
                sql += u", "_qs + SqlText(StoredForm(language.texts[row], language.lcid));
            sql += u");"_qs;
        }
        sql += u"INSERT INTO TidxTexts VALUES (90, NULL, '', NULL, '');"_qs;
        RunSql(project, sql);
    }
    void TearDown() override { CodePage::SetSystemAnsiCodePage(std::nullopt); }

    TempFolder folder;
    QString project;
    MessageRecorder messages;
};

TEST_F(LanguageExportTest, EveryLanguageAndFormatComesBackUnchanged) {
    const auto before = Snapshot(project);
    for (const QString& extension : {u"xlsx"_qs, u"xls"_qs, u"csv"_qs}) {
        for (const auto& language : Languages()) {
            const QString file = folder.Path(u"L%1.%2"_qs.arg(language.lcid).arg(extension));
            LanguageExport::Options options;
            if (language.lcid != 1031) options.reference = 1031;
            const auto result = LanguageExport::Export(project, language.lcid, file, options);
            const std::string what = file.toStdString();
            EXPECT_EQ(result.rows, 11) << what;
            EXPECT_TRUE(result.asStored.empty()) << what;
            const ImportReport preview = PreviewLanguage(project, language.lcid, file);
            EXPECT_EQ(preview.rows.matched, 11) << what;
            EXPECT_EQ(preview.rows.changed, 0) << what;
            EXPECT_TRUE(preview.lossy.empty()) << what;
            const ImportReport import = ImportLanguage(project, language.lcid, file);
            EXPECT_EQ(import.rows.changed, 0) << what;
            EXPECT_EQ(Snapshot(project), before) << what;
        }
    }
    EXPECT_TRUE(messages.messages.empty());
}

// The file is written under a name of its own beside the output first; for an
// output name of the longest the file system takes that name must still fit.
TEST_F(LanguageExportTest, OutputsWithTheLongestFileNamesAreWritten) {
    const QString fourBytes = QString::fromUtf8("\xF0\x9F\x98\x80");
    for (const QString& extension : {u"xlsx"_qs, u"xls"_qs, u"csv"_qs, u"xlf"_qs}) {
        const qsizetype room = 254 - extension.size();  // 255 bytes with the dot
        for (const QString& name :
             {QString(room, u'e'), QString(room / 2, QChar(0x00FC)) + QString(room % 2, u'e'),
              fourBytes.repeated(room / 4) + QString(room % 4, u'e')}) {
            const QString file = folder.Path(name + u"."_qs + extension);
            ASSERT_EQ(QFileInfo(file).fileName().toUtf8().size(), 255);
            const std::string what = extension.toStdString() + " " + name.left(2).toStdString();
            const auto result = LanguageExport::Export(project, 1049, file);
            EXPECT_EQ(result.rows, 11) << what;
            // An XLIFF file leaves out ID 90, which has no translation.
            EXPECT_EQ(PreviewLanguage(project, 1049, file).rows.matched,
                      extension == u"xlf"_qs ? 10 : 11)
                << what;
            EXPECT_TRUE(QFile::remove(file)) << what;
        }
    }
    EXPECT_EQ(QDir(folder.Path({})).entryList({u".*"_qs}, QDir::Files | QDir::Hidden),
              QStringList{})
        << "no half-written file is left beside the output";
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(LanguageExportTest, AFileWithChangedTextsImportsExactlyThoseChanges) {
    for (const QString& extension : {u"xlsx"_qs, u"xls"_qs, u"csv"_qs}) {
        const QString file = folder.Path(u"ru."_qs + extension);
        RunSql(project, u"UPDATE TidxTexts SET L1049 = '' WHERE ID = 90"_qs);
        LanguageExport::Export(project, 1049, file);
        // The file now differs from the project in two texts: the project's change
        // of ID 3 is undone by the file, and ID 90's empty text gets its own back.
        RunSql(project, u"UPDATE TidxTexts SET L1049 = 'anders' WHERE ID IN (3, 90)"_qs);
        const auto changed = Snapshot(project);
        const ImportReport report = ImportLanguage(project, 1049, file);
        EXPECT_EQ(report.rows.changed, 2) << extension.toStdString();
        const auto column = ReadColumn(project, u"L1049"_qs);
        EXPECT_EQ(column.at(3).ToText(), StoredForm(u"Размер: 5 €"_qs, 1049));
        // A workbook holds an empty text as an empty cell, which reads back as Null;
        // a text file keeps "" apart from Null.
        if (extension == u"csv"_qs)
            EXPECT_TRUE(column.at(90).IsText() && column.at(90).Text().isEmpty());
        else
            EXPECT_TRUE(column.at(90).IsNull()) << extension.toStdString();
        EXPECT_EQ(column.at(1).ToText(), StoredForm(u"Строка 1\r\nСтрока 2"_qs, 1049));
        EXPECT_NE(Snapshot(project), changed);
    }
}

TEST_F(LanguageExportTest, WorkbooksReadTheSameInAnIndependentReader) {
    for (const QString& extension : {u"xlsx"_qs, u"xls"_qs}) {
        const QString file = folder.Path(u"jp."_qs + extension);
        LanguageExport::Export(project, 1041, file, {.reference = 1049, .missingOnly = false});
        QJsonArray rows = ReadIndependently(file);
        ASSERT_EQ(rows.size(), 13) << extension.toStdString();
        // Frozen bold header, texts as "@", the reference column in italics.
        EXPECT_EQ(rows.takeAt(12).toArray(), (QJsonArray{true, true, u"@"_qs, true}))
            << extension.toStdString();
        EXPECT_EQ(rows[0].toArray(), (QJsonArray{u"ID"_qs, u"L1049"_qs, u"L1041"_qs}));
        // In ID order: 1, 2, ... 8, 42, 90, 100000.
        const std::vector<int> order{1, 2, 3, 4, 5, 6, 7, 8, 42, 90, 100000};
        const std::vector<size_t> index{3, 7, 1, 9, 4, 8, 0, 6, 5, 0, 2};
        for (size_t i = 0; i < order.size(); ++i) {
            const QJsonArray row = rows[static_cast<qsizetype>(i) + 1].toArray();
            EXPECT_EQ(row[0].toDouble(), order[i]);
            if (order[i] == 90) {
                EXPECT_EQ(row[2].toString(), QString()) << "an empty text";
                continue;
            }
            EXPECT_EQ(row[1].toString(), Languages()[1].texts[index[i]]);
            EXPECT_EQ(row[2].toString(), Languages()[3].texts[index[i]]) << i;
        }
    }
}

TEST_F(LanguageExportTest, TextsThatWouldNotComeBackAreWrittenAsStoredAndNamed) {
    // Real Cyrillic in the Russian column is no code-page form: an import would change it.
    RunSql(project, u"UPDATE TidxTexts SET L1049 = 'Выход' WHERE ID = 5"_qs);
    const QString file = folder.Path(u"ru.csv"_qs);
    const auto result = LanguageExport::Export(project, 1049, file);
    ASSERT_EQ(result.asStored.size(), 1u);
    EXPECT_EQ(result.asStored[0].id, 5);
    EXPECT_EQ(result.asStored[0].text, u"Выход"_qs);
    EXPECT_TRUE(QString::fromUtf8(FileBytes(file)).contains(u"\r\n5,Выход\r\n"_qs));
}

TEST_F(LanguageExportTest, MissingOnlyAndTheReferenceColumn) {
    RunSql(project, u"UPDATE TidxTexts SET L1032 = NULL WHERE ID IN (2, 8)"_qs);
    const QString file = folder.Path(u"el.csv"_qs);
    const auto result =
        LanguageExport::Export(project, 1032, file, {.reference = 1031, .missingOnly = true});
    EXPECT_EQ(result.rows, 3);
    EXPECT_EQ(FileBytes(file),
              QByteArray("\xEF\xBB\xBFID,L1031,L1032\r\n2,=1+1,\r\n8,1.2.2024,\r\n90,,\r\n"));
}

TEST_F(LanguageExportTest, AFailedExportLeavesAnExistingFileAsItWas) {
    const QString file = folder.Path(u"alt.xls"_qs);
    QFile existing(file);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("vorher");
    existing.close();
    // More texts than a .xls sheet holds.
    RunSql(project,
           u"WITH RECURSIVE n(i) AS (SELECT 200000 UNION ALL SELECT i + 1 FROM n "
           "WHERE i < 265535) INSERT INTO TidxTexts(ID, L1031) SELECT i, 'x' FROM n"_qs);
    EXPECT_EQ(ErrorNumberOf([&] { LanguageExport::Export(project, 1031, file); }),
              ErrorNumber::InvalidArgument);
    EXPECT_EQ(FileBytes(file), QByteArray("vorher"));
    EXPECT_EQ(ErrorNumberOf([&] { LanguageExport::Export(project, 1036, file); }),
              ErrorNumber::FieldNotFound);
    EXPECT_EQ(
        ErrorNumberOf([&] { LanguageExport::Export(project, 1031, folder.Path(u"x.txt"_qs)); }),
        ErrorNumber::IsamNotFound);
    EXPECT_EQ(ErrorNumberOf(
                  [&] { LanguageExport::Export(project, 1031, folder.Path(u"fehlt/x.csv"_qs)); }),
              ErrorNumber::FileNotFound)
        << "a missing folder is named as missing";
    EXPECT_EQ(FileBytes(file), QByteArray("vorher"));
    // A text longer than a cell holds fails while the rows are written, in a
    // workbook and in a text file alike (the import would not read it back).
    RunSql(project, u"UPDATE TidxTexts SET L1031 = printf('%.40000c', 'x') WHERE ID = 7"_qs);
    for (const QString& name : {u"lang.xlsx"_qs, u"lang.csv"_qs}) {
        const QString longer = folder.Path(name);
        QFile::copy(file, longer);
        try {
            LanguageExport::Export(project, 1031, longer);
            ADD_FAILURE() << name.toStdString();
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Number(), ErrorNumber::InvalidArgument);
            EXPECT_TRUE(error.Description().contains(u"ID 7"_qs)) << name.toStdString();
            EXPECT_TRUE(error.Description().contains(u"wählen Sie .xlf"_qs));
        }
        EXPECT_EQ(FileBytes(longer), QByteArray("vorher")) << name.toStdString();
        QFile::remove(longer);
    }
    RunSql(project, u"UPDATE TidxTexts SET L1031 = 'kurz' WHERE ID = 7"_qs);
    // No half-written file is left in the folder.
    EXPECT_EQ(QDir(folder.Path({})).entryList({u".*"_qs}, QDir::Files | QDir::Hidden),
              QStringList{})
        << "no half-written file is left beside the output";
    // The large export goes to .xlsx in constant memory, all of it.
    const auto all = LanguageExport::Export(project, 1031, folder.Path(u"alle.xlsx"_qs));
    EXPECT_EQ(all.rows, 11 + 65536);
}

}  // namespace
