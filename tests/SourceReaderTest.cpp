#include "CodePage.h"
#include "CsvFile.h"
#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "TestSupport.h"
#include "XlsWorkbook.h"
#include "XlsxWorkbook.h"
#include "ZipWriter.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

// A ZIP file holding the given parts.
void WriteZip(const QString& path, const std::vector<std::pair<QString, QByteArray>>& parts) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ZipContainer(parts));
}

const QByteArray kRootRels =
    R"(<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="r" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="/xl/book.xml"/></Relationships>)";
const QByteArray kBookRels =
    R"(<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="a" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="sheets/../sheets/one.xml"/><Relationship Id="s" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="strings.xml"/></Relationships>)";
const QByteArray kBook =
    R"(<?xml version="1.0"?><x:workbook xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><x:sheets><x:sheet name="TidxTexts" sheetId="1" r:id="a"/></x:sheets></x:workbook>)";

// A workbook of its parts, the sheet and the shared strings given.
void WriteXlsx(const QString& path, const QByteArray& sheet, const QByteArray& strings) {
    WriteZip(path, {{u"_rels/.rels"_qs, kRootRels},
                    {u"xl/_rels/book.xml.rels"_qs, kBookRels},
                    {u"xl/book.xml"_qs, kBook},
                    {u"xl/sheets/one.xml"_qs, sheet},
                    {u"xl/strings.xml"_qs, strings}});
}

QByteArray Sheet(const QByteArray& rows) {
    return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<sheetData>" +
           rows + "</sheetData></worksheet>";
}

// The description of the RuntimeError the action throws.
QString ErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& error) {
        return u"%1 %2"_qs.arg(error.Number()).arg(error.Description());
    }
    return {};
}

TEST(XlsxWorkbookTest, LibreOfficeWorkbooksReadAsTheirXlsOriginals) {
    for (const QString name : {u"texts-libreoffice"_qs, u"empty-strings"_qs}) {
        const SourceTable xlsx =
            XlsxWorkbook(TestData(u"xlsx/"_qs + name + u".xlsx"_qs)).ReadSheet(u"TidxTexts"_qs);
        const SourceTable xls =
            XlsWorkbook(TestData(u"excel/"_qs + name + u".xls"_qs)).ReadSheet(u"TidxTexts"_qs);
        EXPECT_EQ(xlsx.columns, xls.columns);
        ASSERT_EQ(xlsx.rows.size(), xls.rows.size()) << name.toStdString();
        for (size_t r = 0; r < xls.rows.size(); ++r)
            for (size_t c = 0; c < xls.rows[r].size(); ++c) {
                // LibreOffice saved the empty strings of the .xls as empty cells.
                if (xls.rows[r][c].IsText() && xls.rows[r][c].Text().isEmpty()) continue;
                EXPECT_EQ(xlsx.rows[r][c], xls.rows[r][c]) << name.toStdString() << r << c;
            }
    }
    EXPECT_EQ(XlsxWorkbook(TestData(u"xlsx/texts-libreoffice.xlsx"_qs)).SheetNames(),
              (QStringList{u"Hinweise"_qs, u"TidxTexts"_qs}));
    EXPECT_EQ(ErrorNumberOf([] {
                  XlsxWorkbook(TestData(u"xlsx/wrong-sheet.xlsx"_qs)).ReadSheet(u"TidxTexts"_qs);
              }),
              ErrorNumber::ObjectNotFound);
}

TEST(XlsxWorkbookTest, EveryKindOfCell) {
    TempFolder folder;
    const QString path = folder.Path(u"k.xlsx"_qs);
    WriteXlsx(
        path,
        Sheet(
            R"(<row r="2"><c r="B2" t="s"><v>0</v></c><c r="C2" t="inlineStr"><is><t>L</t></is></c></row>
<row r="3"><c r="B3"><v>2024.50</v></c><c t="s"><v>1</v></c></row>
<row r="5"><c r="B5" t="b"><v>1</v></c><c r="C5" t="str"><f>A1</f><v>Ergebnis_x000D_</v></c><c r="D5" t="e"><v>#DIV/0!</v></c><c r="E5"><v>7</v></c></row>
<row><c r="B6"><v>1E-3</v></c><c r="C6" t="s"><v>2</v></c></row>)"),
        R"(<sst><si><t>ID</t></si><si><r><rPr><b/></rPr><t>fe</t></r><r><t xml:space="preserve">tt </t></r><rPh><t>ヨミ</t></rPh></si><si><t></t></si></sst>)");
    const SourceTable table = XlsxWorkbook(path).ReadSheet(u"TidxTexts"_qs);
    EXPECT_EQ(table.columns, (QStringList{u"ID"_qs, u"L"_qs, u"F3"_qs, u"F4"_qs}));
    ASSERT_EQ(table.rows.size(), 4u);
    EXPECT_EQ(table.rows[0][0], Variant(2024.5));
    EXPECT_EQ(table.rows[0][1], Variant(u"fett "_qs)) << "rich text without its reading";
    EXPECT_TRUE(table.rows[1][0].IsNull()) << "row 4 is empty";
    EXPECT_EQ(table.rows[2][0], Variant::Boolean(true));
    EXPECT_EQ(table.rows[2][1], Variant(u"Ergebnis\r"_qs));
    EXPECT_TRUE(table.rows[2][2].IsNull()) << "an error value";
    EXPECT_EQ(table.rows[2][3], Variant(7.0));
    EXPECT_EQ(table.rows[3][0], Variant(0.001));
    EXPECT_EQ(table.rows[3][1], Variant(QString())) << "an empty shared string is no Null";
}

TEST(XlsxWorkbookTest, DamagedWorkbooksFailNamingTheFile) {
    TempFolder folder;
    const QString good = folder.Path(u"gut.xlsx"_qs);
    WriteXlsx(good, Sheet(R"(<row r="1"><c r="A1" t="s"><v>0</v></c></row>)"),
              "<sst><si><t>ID</t></si></sst>");
    const QByteArray bytes = FileBytes(good);
    auto write = [&](const QString& name, const QByteArray& data) {
        QFile file(folder.Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
        return folder.Path(name);
    };
    auto sheetOnly = [&](const QString& name, const QByteArray& sheet, const QByteArray& sst) {
        WriteXlsx(folder.Path(name), sheet, sst);
        return folder.Path(name);
    };
    const std::vector<QString> damaged{
        write(u"abgeschnitten.xlsx"_qs, bytes.left(bytes.size() / 2)),
        write(u"kein-zip.xlsx"_qs, "PK\x03\x04 nichts"),
        sheetOnly(u"xml.xlsx"_qs, "<worksheet><sheetData><row>", "<sst/>"),
        sheetOnly(u"verweis.xlsx"_qs, Sheet(R"(<row><c t="s"><v>7</v></c></row>)"), "<sst/>"),
        sheetOnly(u"zeile.xlsx"_qs, Sheet(R"(<row r="3"/><row r="2"/>)"), "<sst/>"),
        sheetOnly(u"bezug.xlsx"_qs, Sheet(R"(<row r="1"><c r="XFE1"><v>1</v></c></row>)"),
                  "<sst/>"),
        sheetOnly(u"zahl.xlsx"_qs, Sheet(R"(<row r="1"><c><v>abc</v></c></row>)"), "<sst/>"),
        // Cells far apart: the table between them would be too large to hold.
        sheetOnly(u"weit.xlsx"_qs,
                  Sheet(R"(<row r="1"><c r="A1"><v>1</v></c></row>)"
                        R"(<row r="1048576"><c r="XFD1048576"><v>1</v></c></row>)"),
                  "<sst/>"),
        // A part that inflates beyond what any list of texts needs: 260 MB of blanks.
        sheetOnly(u"bombe.xlsx"_qs, Sheet(""), "<sst>" + QByteArray(260 << 20, ' ') + "</sst>"),
    };
    for (const QString& path : damaged) {
        const QString text = ErrorText([&] { XlsxWorkbook(path).ReadSheet(u"TidxTexts"_qs); });
        EXPECT_TRUE(text.startsWith(u"3274 "_qs)) << text.toStdString();
        EXPECT_TRUE(text.contains(path)) << text.toStdString();
    }
    EXPECT_EQ(ErrorNumberOf([&] { XlsxWorkbook(folder.Path(u"fehlt.xlsx"_qs)); }),
              ErrorNumber::FileNotFound);
}

TEST(CsvFileTest, TheFilesLibreOfficeSavedReadAsTheWorkbook) {
    const SourceTable xls =
        XlsWorkbook(TestData(u"excel/texts-libreoffice.xls"_qs)).ReadSheet(u"TidxTexts"_qs);
    for (const QString name :
         {u"texts-utf8-comma"_qs, u"texts-utf16-tab"_qs, u"texts-cp1252-semicolon"_qs}) {
        const SourceTable csv = CsvFile::Read(TestData(u"csv/"_qs + name + u".csv"_qs));
        EXPECT_EQ(csv.columns, xls.columns) << name.toStdString();
        ASSERT_EQ(csv.rows.size(), xls.rows.size()) << name.toStdString();
        for (size_t r = 0; r < xls.rows.size(); ++r) {
            // Every field is a text; an empty one is Null.
            EXPECT_EQ(csv.rows[r][0].ToText(), xls.rows[r][0].ToText()) << r;
            EXPECT_EQ(csv.rows[r][1].IsNull(), xls.rows[r][1].IsNull()) << r;
            // In Windows-1252 LibreOffice saved what the code page lacks as "?".
            auto saved = [&](const Variant& value) {
                return name.contains(u"cp1252"_qs)
                           ? CodePage::Decode(CodePage::Encode(value.ToText(), 1252), 1252)
                           : value.ToText();
            };
            EXPECT_EQ(csv.rows[r][1].ToText(), saved(xls.rows[r][1])) << name.toStdString() << r;
            EXPECT_EQ(csv.rows[r][3].ToText(), saved(xls.rows[r][3])) << name.toStdString() << r;
        }
    }
}

TEST(CsvFileTest, QuotesEncodingsAndDelimiters) {
    const SourceTable quoted =
        CsvFile::Parse("ID;Text;\r\n1;\"a;b\"\"c\"\"\r\nd\";\r\n\r\n2;\"\";x\"y\n3", u"t.csv"_qs);
    EXPECT_EQ(quoted.columns, (QStringList{u"ID"_qs, u"Text"_qs, u"F3"_qs}));
    ASSERT_EQ(quoted.rows.size(), 3u) << "the blank line is no row";
    EXPECT_EQ(quoted.rows[0][1], Variant(u"a;b\"c\"\r\nd"_qs));
    EXPECT_TRUE(quoted.rows[0][2].IsNull());
    EXPECT_EQ(quoted.rows[1][1], Variant(QString())) << "\"\" is the empty text";
    EXPECT_EQ(quoted.rows[1][2], Variant(u"x\"y"_qs));
    EXPECT_EQ(quoted.rows[2][0], Variant(u"3"_qs)) << "every field is a text";
    EXPECT_TRUE(quoted.rows[2][1].IsNull());

    QByteArray utf16be("\xFE\xFF");
    for (QChar c : u"ID\tL1049\n1\tДа"_qs)
        utf16be += char(c.unicode() >> 8) + QByteArray(1, char(c.unicode()));
    EXPECT_EQ(CsvFile::Parse(utf16be, u"t.csv"_qs).rows[0][1], Variant(u"Да"_qs));
    EXPECT_EQ(CsvFile::Parse("ID,T\n1,Gr\xFC\xDF"
                             "e \x80",
                             u"t.csv"_qs)
                  .rows[0][1],
              Variant(u"Grüße €"_qs))
        << "bytes that are no UTF-8 are Windows-1252";
    EXPECT_EQ(CsvFile::Parse("\xEF\xBB\xBFID,T\n1,\xC3\xA4", u"t.csv"_qs).columns[0], u"ID"_qs);

    const QString text = ErrorText([] { CsvFile::Parse("ID,T\n1,\"offen", u"/x/offen.csv"_qs); });
    EXPECT_TRUE(text.startsWith(u"3274 "_qs) && text.contains(u"/x/offen.csv"_qs))
        << text.toStdString();
}

TEST(CsvFileTest, WrittenRowsReadBackAsTheyWere) {
    const std::vector<CsvFile::Field> fields{
        {u"1"_qs}, {{}, true}, {QString()}, {u" a, \"b\"\n"_qs}, {u"c;d\te"_qs}};
    const SourceTable table = CsvFile::Parse(
        CsvFile::kUtf8Bom + CsvFile::Row({{u"A"_qs}, {u"B"_qs}, {u"C"_qs}, {u"D"_qs}, {u"E"_qs}}) +
            CsvFile::Row(fields),
        u"t.csv"_qs);
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0][0], Variant(u"1"_qs));
    EXPECT_TRUE(table.rows[0][1].IsNull());
    EXPECT_EQ(table.rows[0][2], Variant(QString()));
    EXPECT_EQ(table.rows[0][3], Variant(u" a, \"b\"\n"_qs));
    EXPECT_EQ(table.rows[0][4], Variant(u"c;d\te"_qs));
}

TEST(LinkedTextFileTest, ImportsThroughTheEnginesLinkToItsFolder) {
    TempFolder folder;
    MessageRecorder messages;
    const QString project = folder.Path(u"Demo.qrp"_qs);
    WriteProject(project, {{1, "alt", {}, {}}, {2, "alt", {}, {}}});
    // A name with a dot and a "#" of its own: only the last "#" stands for the dot.
    const QString csv = folder.Path(u"Texte#neu.v2.csv"_qs);
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "ID;L1031\r\n1;Datei\r\n 2 ;Gr\xFC\xDF"
        "e\r\n");
    file.close();
    const ImportReport report = MLanguageTransfer::ImportLanguage(project, 1031, csv);
    EXPECT_EQ(report.rows.changed, 2);
    EXPECT_EQ(ReadColumn(project, u"L1031"_qs).at(2), Variant(u"Grüße"_qs));
    EXPECT_TRUE(messages.messages.empty());
}

}  // namespace

namespace {

// Damaged workbooks kept from fuzzing: each is read whole or refused with the
// workbook error naming it, and never read past its data.
TEST(XlsxWorkbookTest, FuzzRegressionsFailCleanly) {
    const QDir folder(TestData(u"fuzz-regressions/xlsx"_qs));
    const QStringList files = folder.entryList(QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    int refused = 0;
    for (const QString& name : files) {
        const QString path = folder.filePath(name);
        const QString text = ErrorText([&] {
            XlsxWorkbook workbook(path);
            for (const QString& sheet : workbook.SheetNames()) workbook.ReadSheet(sheet);
        });
        if (text.isEmpty()) continue;
        ++refused;
        EXPECT_TRUE(text.startsWith(u"3274 "_qs) && text.contains(path)) << text.toStdString();
    }
    EXPECT_GT(refused, 0);
}

}  // namespace
