#include "CellGrid.h"
#include "CodePage.h"
#include "CsvFile.h"
#include "LanguageRecoding.h"
#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "TestSupport.h"
#include "TextFileEncoding.h"
#include "XlsWorkbook.h"
#include "XlsxWorkbook.h"
#include "ZipWriter.h"

#include <QDir>
#include <QFile>
#include <QStringConverter>

#include <gtest/gtest.h>

#include <map>

namespace {

// A workbook of its parts, the sheet and the shared strings given.
void WriteXlsx(const QString& path, const QByteArray& sheet, const QByteArray& strings) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(XlsxContainer(sheet, strings));
}

QByteArray Sheet(const QByteArray& rows) {
    return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<sheetData>" +
           rows + "</sheetData></worksheet>";
}

TEST(XlsxWorkbookTest, LibreOfficeWorkbooksReadAsTheirXlsOriginals) {
    for (const QString& name : {u"texts-libreoffice"_qs, u"empty-strings"_qs}) {
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

// libgsf reads a workbook's bytes without a copy, also after it opened: the
// workbook keeps them, whatever its caller does with its own.
TEST(XlsxWorkbookTest, AWorkbookReadFromBytesKeepsThem) {
    QFile file(TestData(u"xlsx/texts-libreoffice.xlsx"_qs));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    XlsxWorkbook book(bytes, u"Texte.xlsx"_qs);
    bytes.fill('x');
    bytes.clear();
    const SourceTable table = book.ReadSheet(u"TidxTexts"_qs);
    EXPECT_EQ(table.rows.size(),
              XlsxWorkbook(file.fileName()).ReadSheet(u"TidxTexts"_qs).rows.size());
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

// How the values cells write are read: white space around them, signs and
// exponents, indexes into the texts; what is no number is an unreadable cell.
TEST(XlsxWorkbookTest, TheValuesCellsWriteAsTheyStand) {
    struct Case {
        const char* name;
        const char* cell;  // the cell's XML in column B
        Variant value;     // its value, when it has one
        bool unreadable = false;
    };
    const Case cases[] = {
        {"a number with blanks around it", R"(<c><v> 42 </v></c>)", Variant(42.0)},
        {"a line break around it", "<c><v>\n7\t</v></c>", Variant(7.0)},
        {"a plus sign", R"(<c><v>+3.5</v></c>)", Variant(3.5)},
        {"an exponent", R"(<c t="n"><v>-1.25E2</v></c>)", Variant(-125.0)},
        {"no-break spaces around it",
         "<c><v>\u00A0"
         "8\u00A0</v></c>",
         Variant(8.0)},
        {"blanks alone", R"(<c><v>  </v></c>)", Variant()},
        {"a decimal comma", R"(<c><v>1,5</v></c>)", Variant(), true},
        {"beyond a double", R"(<c><v>1e400</v></c>)", Variant(), true},
        {"not a number", R"(<c><v>inf</v></c>)", Variant(), true},
        {"an index with blanks", R"(<c t="s"><v> 1 </v></c>)", Variant(u"zwei"_qs)},
        {"an index with a sign", R"(<c t="s"><v>+1</v></c>)", Variant(u"zwei"_qs)},
        {"an index beyond the texts", R"(<c t="s"><v>2</v></c>)", Variant(), true},
        {"an index that is none", R"(<c t="s"><v>1.0</v></c>)", Variant(), true},
        {"a boolean with blanks", R"(<c t="b"><v> true </v></c>)", Variant::Boolean(true)},
        {"a false boolean", R"(<c t="b"><v>0</v></c>)", Variant::Boolean(false)},
        {"the empty-text formula with blanks", R"(<c t="str"><f> "" </f><v>0</v></c>)",
         Variant(QString())},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        const QString path = folder.Path(u"werte.xlsx"_qs);
        WriteXlsx(path,
                  Sheet(R"(<row r="1"><c t="inlineStr"><is><t>ID</t></is></c><c t="inlineStr">)"
                        R"(<is><t>L</t></is></c></row><row r="2"><c><v>1</v></c>)" +
                        QString::fromUtf8(c.cell).toUtf8() + "</row>"),
                  "<sst><si><t>eins</t></si><si><t>zwei</t></si></sst>");
        const SourceTable table = XlsxWorkbook(path).ReadSheet(u"TidxTexts"_qs);
        ASSERT_EQ(table.rows.size(), 1u) << c.name;
        EXPECT_EQ(table.rows[0][1], c.value) << c.name;
        EXPECT_EQ(table.unreadable.size(), c.unreadable ? 1u : 0u) << c.name;
    }
}

// The most rows an .xls holds, as LibreOffice saves them as .xlsx: every text
// arrives, in its real characters.
TEST(XlsxWorkbookTest, ALargeWorkbookSavedByLibreOffice) {
    TempFolder folder;
    const QString project = folder.Path(u"Gross.qrp"_qs);
    RunSql(project,
           u"CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031 TEXT, L1049 TEXT); "
           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 65536) "
           "INSERT INTO TidxTexts SELECT i, 'Text ' || i, 'alt' FROM n"_qs);
    ImportReport report;
    ASSERT_TRUE(MLanguageTransfer::TransferLanguage(
        project, 1049, TestData(u"xlsx/texts-65535-libreoffice.xlsx"_qs), &report));
    EXPECT_EQ(report.rows.matched, 65535);
    EXPECT_EQ(report.rows.changed, 65535);
    EXPECT_EQ(report.rows.unmatched.size(), 0u);
    const auto texts = ReadColumn(project, u"L1049"_qs);
    LanguageRecoding russian(1049);
    for (const int64_t id : {1, 4096, 4097, 65535})
        EXPECT_EQ(russian.Restore(texts.at(id).ToText()), u"Текст номер %1"_qs.arg(id)) << id;
    EXPECT_EQ(texts.at(65536), Variant(u"alt"_qs)) << "a row the workbook does not hold";
}

// Indented XML as some generators write it, rich inline strings, and what a
// cell may carry beside its value (extensions, a value nested in them) read as
// the cell's own value and text only.
TEST(XlsxWorkbookTest, IndentedXmlAndWhatCellsCarryBesideTheirValues) {
    TempFolder folder;
    const QString path = folder.Path(u"eingerueckt.xlsx"_qs);
    WriteXlsx(path, Sheet(R"(
  <row r="1">
    <c r="A1" t="inlineStr"><is><t>ID</t></is></c>
    <c r="B1" t="inlineStr">
      <is>
        <r><rPr><b/></rPr><t>L10</t></r>
        <r><t>49</t></r>
        <rPh sb="0" eb="1"><t>ヨミ</t></rPh>
      </is>
    </c>
  </row>
  <row r="2">
    <c r="A2"><v>1</v><extLst><ext><v>99</v></ext></extLst></c>
    <c r="B2" t="s">
      <v>0</v>
    </c>
  </row>)"),
              R"(<sst>
  <si>
    <r><t xml:space="preserve">Da </t></r>
    <r><rPr><i/></rPr><t>tei</t></r>
  </si>
</sst>)");
    const SourceTable table = XlsxWorkbook(path).ReadSheet(u"TidxTexts"_qs);
    EXPECT_EQ(table.columns, (QStringList{u"ID"_qs, u"L1049"_qs}));
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0][0], Variant(1.0)) << "the value nested in an extension is not it";
    EXPECT_EQ(table.rows[0][1], Variant(u"Da tei"_qs)) << "runs without the blanks between them";
}

// Parts in UTF-8 go to the workbook reader's own XML scanner, parts in UTF-16
// to libxml2: the same cells either way.
TEST(XlsxWorkbookTest, APartInUtf16ReadsAsInUtf8) {
    const QString sheet = QString::fromUtf8(
        Sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Gr\xC3\xB6\xC3\x9F"
              "e &amp; \xD0\xA2\xD0\xB5\xD0\xBA\xD1\x81\xD1\x82</t></is></c></row>"));
    const QByteArray strings =
        "<sst xmlns=\"http://schemas.openxmlformats.org/"
        "spreadsheetml/2006/main\"/>";
    const QByteArray utf16 =
        "\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(sheet.utf16()), sheet.size() * 2);
    for (const QByteArray& part : {sheet.toUtf8(), utf16}) {
        const SourceTable table = XlsxWorkbook(XlsxContainer(part, strings), u"m.xlsx"_qs)
                                      .ReadSheet(u"TidxTexts"_qs, false);
        ASSERT_EQ(table.rows.size(), 1u);
        EXPECT_EQ(table.rows[0][0], Variant(u"Größe & Текст"_qs));
    }
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
    // Each also as a large part, whose cells are made into values beside its
    // reading: a comment of more than a megabyte before it, on the same line.
    std::map<QString, QString> large;
    auto sheetOnly = [&](const QString& name, const QByteArray& sheet, const QByteArray& sst) {
        WriteXlsx(folder.Path(name), sheet, sst);
        const QString padded = u"gross-"_qs + name;
        WriteXlsx(folder.Path(padded), "<!--" + QByteArray(1200000, 'x') + "-->" + sheet, sst);
        large[folder.Path(name)] = folder.Path(padded);
        return folder.Path(name);
    };
    const QString part = u"Teil xl/sheets/one.xml, Zeile 1: "_qs;
    std::vector<std::pair<QString, QString>> damaged{
        {write(u"abgeschnitten.xlsx"_qs, bytes.left(bytes.size() / 2)),
         u"kein ZIP-Container, also keine Excel-Arbeitsmappe ab Excel 2007"_qs},
        {write(u"kein-zip.xlsx"_qs, "PK\x03\x04 nichts"),
         u"kein ZIP-Container, also keine Excel-Arbeitsmappe ab Excel 2007"_qs},
        {sheetOnly(u"xml.xlsx"_qs, "<worksheet><sheetData><row>", "<sst/>"),
         part + u"der Teil endet mitten im XML"_qs},
        {sheetOnly(u"falsch.xlsx"_qs, "<worksheet><sheetData></row>", "<sst/>"),
         part + u"fehlerhaftes XML"_qs},
        {sheetOnly(
             u"dtd.xlsx"_qs,
             "<!DOCTYPE w [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><worksheet>&x;</worksheet>",
             "<sst/>"),
         part + u"eine DTD ist nicht erlaubt"_qs},
        {sheetOnly(u"utf8.xlsx"_qs,
                   Sheet("<row><c t=\"inlineStr\"><is><t>Gr\xF6\xDF"
                         "e</t></is></c></row>"),
                   "<sst/>"),
         part + u"ungültiges UTF-8"_qs},
        {sheetOnly(u"verweis.xlsx"_qs, Sheet(R"(<row><c t="s"><v>7</v></c></row>)"), "<sst/>"),
         u"Tabelle TidxTexts, Zelle A1: Verweis auf einen fehlenden Text"_qs},
        {sheetOnly(u"zeile.xlsx"_qs, Sheet(R"(<row r="3"/><row r="2"/>)"), "<sst/>"),
         part + u"ungültige Zeilennummer"_qs},
        {sheetOnly(u"bezug.xlsx"_qs, Sheet(R"(<row r="1"><c r="XFE1"><v>1</v></c></row>)"),
                   "<sst/>"),
         part + u"ungültiger Zellbezug"_qs},
        {sheetOnly(u"zahl.xlsx"_qs, Sheet(R"(<row r="1"><c><v>abc</v></c></row>)"), "<sst/>"),
         u"Tabelle TidxTexts, Zelle A1: ungültige Zahl"_qs},
        // Cells far apart: the table between them would be too large to hold.
        {sheetOnly(u"weit.xlsx"_qs,
                   Sheet(R"(<row r="1"><c r="A1"><v>1</v></c></row>)"
                         R"(<row r="1048576"><c r="XFD1048576"><v>1</v></c></row>)"),
                   "<sst/>"),
         u"Tabelle TidxTexts: zu viele Zellen"_qs},
        // A part that inflates beyond what any list of texts needs: 260 MB of blanks.
        {sheetOnly(u"bombe.xlsx"_qs, Sheet(""), "<sst>" + QByteArray(260 << 20, ' ') + "</sst>"),
         u"Teil xl/strings.xml: entpackt größer als 256 MiB"_qs},
    };
    // The texts read beside the sheet fail it as they fail the workbook read at once.
    const QString texts = u"Teil xl/strings.xml, Zeile 1: "_qs;
    damaged.push_back({sheetOnly(u"texte.xlsx"_qs, Sheet(R"(<row><c t="s"><v>0</v></c></row>)"),
                                 "<sst><si><t>ID</t></si><si><t>x</si></sst>"),
                       texts + u"fehlerhaftes XML"_qs});
    damaged.push_back(
        {sheetOnly(u"texte-utf8.xlsx"_qs, Sheet(""), "<sst><si><t>\xFF</t></si></sst>"),
         texts + u"ungültiges UTF-8"_qs});
    // Cells too many for the table while the part is read, then the part cut
    // short: the cells' fault comes first in the part, and is the one told.
    QByteArray wide;
    for (int row = 1; row <= 1600; ++row)
        wide += "<row r=\"" + QByteArray::number(row) + "\"><c r=\"XFD" + QByteArray::number(row) +
                "\"><v>1</v></c></row>";
    damaged.push_back({sheetOnly(u"breit.xlsx"_qs,
                                 "<worksheet><sheetData>" + wide + "<row r=\"1601\">", "<sst/>"),
                       u"Teil xl/sheets/one.xml, Tabelle TidxTexts: zu viele Zellen"_qs});
    for (const auto mode : {XlsxWorkbook::Texts::AtOpen, XlsxWorkbook::Texts::BesideTheSheet}) {
        for (const auto& [small, where] : damaged) {
            for (const QString& path : {small, large.count(small) ? large[small] : small}) {
                const QString text =
                    ErrorText([&] { XlsxWorkbook(path, mode).ReadSheet(u"TidxTexts"_qs); });
                EXPECT_EQ(text,
                          u"3274 Die Arbeitsmappe '%1' ist fehlerhaft: %2."_qs.arg(path, where))
                    << (mode == XlsxWorkbook::Texts::AtOpen ? "at open" : "beside the sheet");
            }
        }
    }
    EXPECT_EQ(ErrorText([&] { XlsxWorkbook(write(u"leer.xlsx"_qs, {})); }),
              u"3274 Die Arbeitsmappe '%1' ist leer."_qs.arg(folder.Path(u"leer.xlsx"_qs)));
    EXPECT_EQ(ErrorNumberOf([&] { XlsxWorkbook(folder.Path(u"fehlt.xlsx"_qs)); }),
              ErrorNumber::FileNotFound);
}

TEST(XlsxWorkbookTest, ACellThatCannotBeReadFailsOnlyTheImportOfItsColumn) {
    TempFolder folder;
    MessageRecorder messages;
    const QString path = folder.Path(u"zellen.xlsx"_qs);
    WriteXlsx(
        path,
        Sheet(
            R"(<row r="1"><c t="s"><v>0</v></c><c t="inlineStr"><is><t>L1031</t></is></c>)"
            R"(<c t="inlineStr"><is><t>L1049</t></is></c><c t="inlineStr"><is><t>L1033</t></is></c></row>)"
            R"(<row r="2"><c><v>1</v></c><c><v>1,5</v></c><c><f>A2*2</f><v></v></c><c t="inlineStr"><is><t>File</t></is></c></row>)"
            R"(<row r="990"><c><v>2</v></c><c t="str"><f>""</f><v>0</v></c><c r="C990" t="s"><v>99</v></c><c t="inlineStr"><is><t>Edit</t></is></c></row>)"),
        "<sst><si><t>ID</t></si></sst>");
    const SourceTable table = XlsxWorkbook(path).ReadSheet(u"TidxTexts"_qs);
    ASSERT_EQ(table.rows.size(), 989u) << "the rows between are empty rows";
    EXPECT_TRUE(table.rows[0][2].IsNull()) << "a formula never calculated is an empty cell";
    EXPECT_EQ(table.rows[988][1], Variant(QString())) << "the formula =\"\" is the empty text";
    ASSERT_EQ(table.unreadable.size(), 2u);

    const QString project = folder.Path(u"Demo.qrp"_qs);
    WriteProject(project, {{1, "alt", "alt", "alt"}, {2, "alt", "alt", "alt"}});
    for (const auto& [lcid, cell] :
         {std::pair{1031, u"B2: ungültige Zahl"_qs},
          std::pair{1049, u"C990: Verweis auf einen fehlenden Text"_qs}}) {
        EXPECT_EQ(ErrorText([&] { MLanguageTransfer::ImportLanguage(project, lcid, path); }),
                  u"3274 Die Arbeitsmappe '%1' ist fehlerhaft: Tabelle TidxTexts, Zelle %2."_qs.arg(
                      path, cell));
    }
    EXPECT_EQ(MLanguageTransfer::ImportLanguage(project, 1033, path).rows.changed, 2)
        << "the other columns import";
    EXPECT_EQ(ReadColumn(project, u"L1031"_qs).at(1), Variant(u"alt"_qs));
    RunSql(project, u"ALTER TABLE TidxTexts ADD COLUMN L1036 TEXT"_qs);
    EXPECT_EQ(
        ErrorText([&] { MLanguageTransfer::ImportLanguage(project, 1036, path); }),
        u"3061 Die Spalte 'L1036' fehlt im Tabellenblatt 'TidxTexts' der Arbeitsmappe '%1'."_qs.arg(
            path));
}

TEST(CsvFileTest, TheFilesLibreOfficeSavedReadAsTheWorkbook) {
    const SourceTable xls =
        XlsWorkbook(TestData(u"excel/texts-libreoffice.xls"_qs)).ReadSheet(u"TidxTexts"_qs);
    for (const QString& name :
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

    EXPECT_EQ(
        ErrorText([] { CsvFile::Parse("ID,T\r\n1,a\r\n2,\"offen\n\n3,x", u"/x/offen.csv"_qs); }),
        u"3274 Die Textdatei '/x/offen.csv' ist fehlerhaft: Zeile 3: ein "
        "Anführungszeichen wird nicht geschlossen."_qs);
    EXPECT_EQ(ErrorText([] {
                  CsvFile::Parse("ID\n\"a\nb\"\n" + QByteArray(16385, ','), u"/x/breit.csv"_qs);
              }),
              u"3274 Die Textdatei '/x/breit.csv' ist fehlerhaft: Zeile 4: mehr als 16384 "
              "Spalten."_qs);
    EXPECT_EQ(ErrorText([] { CsvFile::Parse("\r\n\n", u"/x/leer.csv"_qs); }),
              u"3274 Die Textdatei '/x/leer.csv' ist leer."_qs);
}

// A text may be as long as a workbook cell holds (32,767 UTF-16 units), not
// longer, in whatever encoding and quoting; the refusal names the line the
// record begins in, however long the field runs on.
TEST(CsvFileTest, TextsLongerThanACellAreRefusedNamingTheirLine) {
    auto utf16le = [](const QString& text) {
        QByteArray bytes("\xFF\xFE");
        bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        return bytes;
    };
    const QString most(32767, u'ä');
    const QString emoji = QString::fromUcs4(U"\U0001F600");
    struct Case {
        const char* what;
        QByteArray file;
        int refusedLine;  // 0: read
    };
    const std::vector<Case> cases = {
        {"as long as a cell", "ID,T\n1,a\n2," + most.toUtf8() + "\n", 0},
        {"one character more", "ID,T\n1,a\n2," + most.toUtf8() + "x\n", 3},
        {"quoted, over lines", "ID,T\n1,\"a\nb\n" + most.toUtf8() + "\"\n", 2},
        {"10 MB in one field", "ID,T\n1,a\n2," + QByteArray(10 << 20, 'x'), 3},
        {"4-byte characters count twice", "ID,T\n1," + emoji.repeated(16384).toUtf8(), 2},
        {"4-byte characters up to the limit", "ID,T\n1," + emoji.repeated(16383).toUtf8(), 0},
        {"UTF-16", utf16le(u"ID\tT\n1\t"_qs + most + u"ö"_qs), 2},
        {"the header too", "ID," + QByteArray(40000, 'x') + "\n1,a", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString error = ErrorText([&] { CsvFile::Parse(c.file, u"/x/lang.csv"_qs); });
        if (c.refusedLine == 0) {
            EXPECT_EQ(error, QString());
            continue;
        }
        EXPECT_EQ(error,
                  u"3274 In der Textdatei '/x/lang.csv', Zeile %1, steht ein Text, der "
                  "länger ist als die 32.767 Zeichen, die eine Zelle fasst. Längere Texte "
                  "kommen aus einer Datenbank oder einer XLIFF-Datei."_qs.arg(c.refusedLine));
    }
}

// A cell whose text is longer than a cell holds (LibreOffice writes them) is an
// unreadable cell: it fails the import of its column, naming the cell, and is
// not kept in memory; the other columns import.
TEST(XlsxWorkbookTest, ATextLongerThanACellFailsOnlyTheImportOfItsColumn) {
    TempFolder folder;
    MessageRecorder messages;
    const QString path = folder.Path(u"lang.xlsx"_qs);
    const QByteArray longer(32768, 'x'), most(32767, 'y');
    WriteXlsx(path,
              Sheet(R"(<row r="1"><c t="s"><v>0</v></c><c t="s"><v>1</v></c>)"
                    R"(<c t="inlineStr"><is><t>L1049</t></is></c><c t="s"><v>2</v></c></row>)"
                    R"(<row r="2"><c><v>1</v></c><c t="s"><v>3</v></c><c t="inlineStr"><is><t>)" +
                    most +
                    R"(</t></is></c><c t="s"><v>4</v></c></row>)"
                    R"(<row r="3"><c><v>2</v></c><c t="inlineStr"><is><t>kurz</t></is></c>)"
                    R"(<c t="inlineStr"><is><t>)" +
                    longer + R"(</t></is></c><c t="str"><v>)" + longer + "</v></c></row>"),
              "<sst><si><t>ID</t></si><si><t>L1031</t></si><si><t>L1033</t></si><si><t>" + longer +
                  "</t></si><si><t>" + most + "</t></si></sst>");
    const SourceTable table = XlsxWorkbook(path).ReadSheet(u"TidxTexts"_qs);
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0][2], Variant(QString::fromLatin1(most)));
    EXPECT_EQ(table.unreadable.size(), 3u);

    const QString project = folder.Path(u"Demo.qrp"_qs);
    WriteProject(project, {{1, "alt", "alt", "alt"}, {2, "alt", "alt", "alt"}});
    for (const auto& [lcid, cell] :
         {std::pair{1031, u"B2"_qs}, std::pair{1049, u"C3"_qs}, std::pair{1033, u"D3"_qs}})
        EXPECT_EQ(ErrorText([&] { MLanguageTransfer::ImportLanguage(project, lcid, path); }),
                  u"3274 In der Arbeitsmappe '%1', Tabelle TidxTexts, Zelle %2, steht ein Text, "
                  "der länger ist als die 32.767 Zeichen, die eine Zelle fasst. Längere Texte "
                  "kommen aus einer Datenbank oder einer XLIFF-Datei."_qs.arg(path, cell))
            << lcid;
    EXPECT_EQ(ReadColumn(project, u"L1049"_qs).at(2), Variant(u"alt"_qs)) << "nothing written";
}

TEST(TextFileEncodingTest, FindsTheEncodingProgramsSavedIn) {
    auto utf16 = [](const QString& text, bool bigEndian) {
        QByteArray bytes;
        for (QChar c : text) {
            const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
            bytes += bigEndian ? QByteArray(1, high) + low : QByteArray(1, low) + high;
        }
        return bytes;
    };
    const QString russian = u"ID;L1049\r\n1;Правка"_qs;
    struct Case {
        const char* what;
        QByteArray bytes;
        int ansi;
        QString encoding;
        QString text;
        size_t invalid;
    };
    const std::vector<Case> cases{
        {"UTF-8 with a mark",
         "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"
         "e",
         1252, u"UTF-8"_qs, u"Grüße"_qs, 0},
        {"UTF-8 without one",
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         1251, u"UTF-8"_qs, u"Grüße"_qs, 0},
        {"ASCII", "ID,L1031\n1,Datei", 1251, u"UTF-8"_qs, u"ID,L1031\n1,Datei"_qs, 0},
        {"UTF-16 LE with a mark", "\xFF\xFE" + utf16(russian, false), 1252, u"UTF-16 LE"_qs,
         russian, 0},
        {"UTF-16 BE with a mark", "\xFE\xFF" + utf16(russian, true), 1252, u"UTF-16 BE"_qs, russian,
         0},
        {"UTF-16 LE without", utf16(russian, false), 1252, u"UTF-16 LE"_qs, russian, 0},
        {"UTF-16 BE without", utf16(russian, true), 1252, u"UTF-16 BE"_qs, russian, 0},
        {"UTF-32 LE", QByteArray("\xFF\xFE\0\0A\0\0\0\x14\x04\0\0", 12), 1252, u"UTF-32 LE"_qs,
         u"AД"_qs, 0},
        {"UTF-32 BE", QByteArray("\0\0\xFE\xFF\0\0\0A\0\0\x04\x14", 12), 1252, u"UTF-32 BE"_qs,
         u"AД"_qs, 0},
        {"Windows-1251", "1;\xCF\xF0\xE0\xE2\xEA\xE0", 1251, u"Windows-1251"_qs, u"1;Правка"_qs, 0},
        // "ß“" happens to be a character of UTF-8: one is not enough against two invalid bytes.
        {"Windows-1252 with a chance UTF-8 pair", "\x84Gru\xDF\x93 \xFC", 1252, u"Windows-1252"_qs,
         u"„Gruß“ ü"_qs, 0},
        {"Shift-JIS", "\x95\xDB\x91\xB6;\x95\x5C\x8E\xA6", 932, u"Shift-JIS (Windows-932)"_qs,
         u"保存;表示"_qs, 0},
        {"UTF-8 with one byte of Windows-1252",
         "Gr\xC3\xB6\xC3\x9F"
         "e\n\xE2\x82\xAC \xF6",
         1252, u"UTF-8"_qs, u"Größe\n€ ö"_qs, 1},
        {"UTF-8 cut inside its last character",
         "Gr\xC3\xB6\xC3\x9F"
         "e \xE2\x82",
         1252, u"UTF-8"_qs, u"Größe â‚"_qs, 2},
    };
    for (const Case& c : cases) {
        const auto decoded = TextFileEncoding::Decode(c.bytes, 0, c.ansi);
        EXPECT_EQ(decoded.reading.encoding, c.encoding) << c.what;
        EXPECT_EQ(QString::fromUtf8(decoded.utf8), c.text) << c.what;
        EXPECT_EQ(decoded.reading.invalidBytes.size(), c.invalid) << c.what;
        EXPECT_EQ(decoded.reading.ansi,
                  c.encoding.startsWith(u"Windows"_qs) || c.encoding.startsWith(u"Shift"_qs))
            << c.what;
    }
    const auto mixed = TextFileEncoding::Decode("a\nb\n\xC3\xA4\xC3\xB6\xC3\xBC\xFC", 0, 1252);
    ASSERT_EQ(mixed.reading.invalidBytes.size(), 1u);
    EXPECT_EQ(mixed.reading.invalidBytes[0].line, 3);
    EXPECT_EQ(mixed.reading.invalidBytes[0].byte, 0xFC);
    EXPECT_EQ(mixed.reading.invalidBytes[0].readAs, u"ü"_qs);
    // Given by hand, an encoding is used whatever the bytes look like.
    EXPECT_EQ(QString::fromUtf8(TextFileEncoding::Decode("\xEF\xBB\xBF\xC3\xA4", 1252, 1252).utf8),
              u"ï»¿Ã¤"_qs);
    EXPECT_EQ(QString::fromUtf8(TextFileEncoding::Decode("\xEF\xBB\xBF\xC3\xA4", 65001, 1252).utf8),
              u"ä"_qs);
}

TEST(TextFileEncodingTest, NamesAsUsersWriteThem) {
    const std::vector<std::pair<QString, std::optional<int>>> names{
        {u"UTF-8"_qs, 65001},    {u"utf8"_qs, 65001},        {u"UTF-16"_qs, 1200},
        {u"utf-16be"_qs, 1201},  {u"Windows-1251"_qs, 1251}, {u"cp1253"_qs, 1253},
        {u" 1252 "_qs, 1252},    {u"Shift_JIS"_qs, 932},     {u"Big5"_qs, 950},
        {u"klingonisch"_qs, {}}, {u"windows-99999"_qs, {}},  {u"-5"_qs, {}},
    };
    for (const auto& [name, codePage] : names)
        EXPECT_EQ(TextFileEncoding::CodePageNamed(name), codePage) << name.toStdString();
}

TEST(TextFileEncodingTest, Utf8ArrivingInPiecesIsCheckedAcrossThem) {
    const QByteArray text(
        "Gr\xC3\xB6\xC3\x9F"
        "e \xE2\x82\xAC \xF0\x9D\x84\x9E!");
    for (qsizetype cut = 0; cut <= text.size(); ++cut) {
        TextFileEncoding::Utf8Check check;
        EXPECT_TRUE(check.Feed(QByteArrayView(text).first(cut))) << cut;
        EXPECT_TRUE(check.Feed(QByteArrayView(text).sliced(cut))) << cut;
        EXPECT_TRUE(check.Finish()) << cut;
    }
    for (const QByteArray& bad : {QByteArray("a\xC3("), QByteArray("\xED\xA0\x80"),
                                  QByteArray("\xC0\xAF"), QByteArray("\xFF")}) {
        TextFileEncoding::Utf8Check check;
        EXPECT_FALSE(check.Feed(bad) && check.Finish()) << bad.toHex().toStdString();
    }
    TextFileEncoding::Utf8Check cut;
    EXPECT_TRUE(cut.Feed("\xE2\x82"));
    EXPECT_FALSE(cut.Finish()) << "the bytes end inside a character";
}

// Large UTF-16 and UTF-32 files are decoded in pieces: a surrogate pair, a
// U+FEFF or a lone half where a piece ends reads as the whole file would.
TEST(TextFileEncodingTest, LargeUnicodeFilesReadAsWholeOnes) {
    const qsizetype piece = qsizetype{1} << 20;
    struct Case {
        const char* what;
        QStringConverter::Encoding encoding;
        QByteArray mark;
        qsizetype unit;
        QString atTheCut;  // the text placed where the first piece ends
    };
    const std::vector<Case> cases = {
        {"UTF-16 LE, a pair across the cut", QStringConverter::Utf16LE, "\xFF\xFE", 2,
         QString::fromUcs4(U"\U0001F600")},
        {"UTF-16 BE, a pair across the cut", QStringConverter::Utf16BE, "\xFE\xFF", 2,
         QString::fromUcs4(U"\U0001D11E")},
        {"UTF-16 LE, U+FEFF after the cut", QStringConverter::Utf16LE, "\xFF\xFE", 2,
         u"x\uFEFF"_qs},
        {"UTF-32 LE, U+FEFF after the cut", QStringConverter::Utf32LE,
         QByteArray("\xFF\xFE\0\0", 4), 4, u"z\uFEFFy"_qs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The text at the cut begins with the last unit of the first piece (the
        // mark is not part of the pieces).
        const qsizetype before = piece / c.unit - 1;
        const QString text = QString(before, u'a') + c.atTheCut + u"\nÄ €"_qs;
        QStringEncoder encode(c.encoding);
        const QByteArray bytes = c.mark + QByteArray(encode(text));
        const TextFileEncoding::Decoded decoded = TextFileEncoding::Decode(bytes, 0, 1252);
        EXPECT_TRUE(decoded.utf8 == text.toUtf8());
    }
    // A high surrogate alone at the very end stays what a whole decoding makes of it.
    QByteArray lone("\xFF\xFE", 2);
    lone += QByteArray(2 * piece, 'a').replace('a', QByteArray("a\0", 2)).left(2 * piece);
    lone += QByteArray("\x3D\xD8", 2);
    auto whole = QStringDecoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
    const QByteArray expected = QString(whole.decode(QByteArrayView(lone).sliced(2))).toUtf8();
    EXPECT_TRUE(TextFileEncoding::Decode(lone, 0, 1252).utf8 == expected);
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
    // Messages name the text file, never the engine's name of its table.
    EXPECT_EQ(ErrorText([&] { MLanguageTransfer::ImportLanguage(project, 1049, csv); }),
              u"3061 Die Spalte 'L1049' fehlt in der Textdatei '%1'."_qs.arg(csv));
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

namespace {

// What a sheet's reader streamed, as the import's sink takes it.
struct RecordingSink : SheetStream::Sink {
    std::vector<SheetStream::Cells> rows;
    bool ended = false, abandoned = false;
    void Add(const SheetStream::Cells& cells) override { rows.push_back(cells); }
    void End(std::exception_ptr, bool gaveUp) override {
        ended = true;
        abandoned = gaveUp;
    }
};

TEST(CellGridTest, StreamsRowsInTheirOrderAndGivesUpOnCellsByColumn) {
    struct Case {
        const char* name;
        std::vector<std::tuple<uint32_t, uint32_t, const char*>> cells;  // row, column, text
        bool header;
        size_t streamed;  // rows the sink took
        bool abandoned;
    };
    const std::vector<Case> cases = {
        {"by rows",
         {{0, 1, "ID"}, {0, 2, "L1031"}, {1, 1, "1"}, {1, 2, "eins"}, {3, 1, "3"}},
         true,
         3,
         false},
        {"by columns",
         {{0, 1, "ID"}, {1, 1, "1"}, {2, 1, "2"}, {0, 2, "L1031"}, {1, 2, "eins"}},
         true,
         1,
         true},
        {"without a header", {{0, 0, "1"}, {1, 0, "2"}}, false, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SheetStream stream;
        RecordingSink sink;
        stream.Attach(&sink);
        CellGrid grid(u"T"_qs, 16, 1000, c.header);
        grid.StreamTo(&stream);
        for (const auto& [row, col, text] : c.cells) grid.Set(row, col, Variant(text));
        const SourceTable table = std::move(grid).Table(u"t.xls"_qs, u"T"_qs);
        stream.Finish();
        EXPECT_TRUE(sink.ended);
        EXPECT_EQ(sink.abandoned, c.abandoned);
        EXPECT_EQ(sink.rows.size(), c.streamed);
        if (!c.abandoned) {
            const auto header = stream.Header();
            ASSERT_TRUE(header.has_value());
            EXPECT_EQ(header->at(1), Variant("ID")) << "cells at their columns in the sheet";
            EXPECT_EQ(sink.rows.at(0).at(2), Variant("eins"));
            EXPECT_TRUE(sink.rows.at(1).empty()) << "the empty row between";
            EXPECT_EQ(table.rows.size(), sink.rows.size()) << "the table keeps them too";
        }
    }
}

}  // namespace
