#include "BiffRecordTypes.h"
#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "TestSupport.h"
#include "WorkbookWriter.h"
#include "XlsWorkbook.h"

#include <gtest/gtest.h>

namespace {

using namespace Biff;

Variant Num(double v) { return Variant(v); }
Variant Txt(const char16_t* text) { return Variant(QString::fromUtf16(text)); }

// Writes a BIFF8 workbook with one sheet "TidxTexts" holding the given cell records.
QString WriteSheet(const TempFolder& folder, const QByteArray& cells,
                   const QByteArray& globals = {}) {
    QString path = folder.Path(QStringLiteral("built.xls"));
    WriteCompoundFile(path, WorkbookStream(8, globals, {{QStringLiteral("TidxTexts"), cells}}), 8);
    return path;
}

TEST(XlsWorkbook, ReadsALibreOfficeWorkbookCellByCell) {
    XlsWorkbook workbook(TestData(QStringLiteral("excel/texts-libreoffice.xls")));
    EXPECT_EQ(workbook.SheetNames(),
              QStringList({QStringLiteral("Hinweise"), QStringLiteral("TidxTexts")}));
    SourceTable table = workbook.ReadSheet(QStringLiteral("TidxTexts"));
    EXPECT_EQ(table.columns, QStringList({"ID", "L1031", "L1033", "L1049", "Kommentar"}));
    ASSERT_EQ(table.rows.size(), 14u);
    EXPECT_EQ(table.rows[0][0], Num(1));
    EXPECT_EQ(table.rows[0][3], Txt(u"Файл"));
    EXPECT_EQ(table.rows[2][0], Txt(u"3"));
    EXPECT_EQ(table.rows[3][0], Txt(u"  4"));
    EXPECT_TRUE(table.rows[5][1].IsNull()) << "an empty cell is Null";
    EXPECT_EQ(table.rows[6][1], Num(2024)) << "a number in a text column stays a number";
    EXPECT_EQ(table.rows[6][1].ToText(), QStringLiteral("2024"));
    EXPECT_EQ(table.rows[7][1], Txt(u"Größe: 5 € – „Anführung“"));
    EXPECT_GT(table.rows[8][1].ToText().size(), 300);
    EXPECT_EQ(table.rows[9][1], Txt(u"漢字 und Deutsch"));
    EXPECT_TRUE(table.rows[11][0].IsNull()) << "the empty ID cell";
    EXPECT_EQ(table.rows[12][0], Num(12));
}

TEST(XlsWorkbook, TellsEmptyStringsFromEmptyCells) {
    SourceTable table = XlsWorkbook(TestData(QStringLiteral("excel/empty-strings.xls")))
                            .ReadSheet(QStringLiteral("TidxTexts"));
    ASSERT_EQ(table.rows.size(), 4u);
    EXPECT_EQ(table.rows[1][1], Txt(u""));
    EXPECT_TRUE(table.rows[2][1].IsNull());
    EXPECT_EQ(table.rows[3][2], Txt(u"Нет"));
}

TEST(XlsWorkbook, ReadsBiff5TextsInTheWorkbooksCodePage) {
    SourceTable cyrillic = XlsWorkbook(TestData(QStringLiteral("excel/texts-biff5-cp1251.xls")))
                               .ReadSheet(QStringLiteral("tidxtexts"));
    EXPECT_EQ(cyrillic.columns, QStringList({"ID", "L1031", "L1049"}));
    ASSERT_EQ(cyrillic.rows.size(), 7u);
    EXPECT_EQ(cyrillic.rows[0][2], Txt(u"Да"));
    EXPECT_EQ(cyrillic.rows[3][2], Txt(u"Ёлка"));
    EXPECT_EQ(cyrillic.rows[6][0], Num(12.5));

    SourceTable japanese = XlsWorkbook(TestData(QStringLiteral("excel/texts-biff5-cp932.xls")))
                               .ReadSheet(QStringLiteral("TidxTexts"));
    ASSERT_EQ(japanese.rows.size(), 3u);
    EXPECT_EQ(japanese.rows[0][1], Txt(u"日本語テキスト"));
    EXPECT_EQ(japanese.rows[1][1], Txt(u"ｶﾀｶﾅ"));
}

TEST(XlsWorkbook, DamagedAndForeignFilesFailWithTheFileName) {
    TempFolder folder;
    QString text = folder.Path(QStringLiteral("kein.xls"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("ID;L1031\n1;Hallo\n");
    file.close();
    for (const QString& path :
         {TestData(QStringLiteral("excel/truncated.xls")),
          TestData(QStringLiteral("excel/damaged/sst-crash-1.xls")),
          TestData(QStringLiteral("excel/damaged/sst-crash-2.xls")),
          TestData(QStringLiteral("excel/damaged/sst-overread-1.xls")), text}) {
        try {
            XlsWorkbook workbook(path);
            workbook.ReadSheet(QStringLiteral("TidxTexts"));
            ADD_FAILURE() << path.toStdString() << " was read";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Number(), ErrorNumber::ExternalFormat) << path.toStdString();
            EXPECT_TRUE(error.Description().contains(path)) << error.what();
        }
    }
}

TEST(XlsWorkbook, MissingFileAndSheet) {
    EXPECT_EQ(ErrorNumberOf([] { XlsWorkbook(QStringLiteral("/nicht/da.xls")); }),
              ErrorNumber::FileNotFound);
    XlsWorkbook workbook(TestData(QStringLiteral("excel/wrong-sheet.xls")));
    EXPECT_FALSE(workbook.HasSheet(QStringLiteral("TidxTexts")));
    EXPECT_EQ(ErrorNumberOf([&] { workbook.ReadSheet(QStringLiteral("TidxTexts")); }),
              ErrorNumber::ObjectNotFound);
}

TEST(XlsWorkbook, ReadsEveryKindOfCell) {
    TempFolder folder;
    QByteArray cells =
        Label8(0, 0, "ID") + Label8(0, 1, "L1031") + Label8(0, 2, "L1049") +
        Rk(1, 0, (7u << 2) | 2)       // integer RK
        + Rk(1, 1, (1234u << 2) | 3)  // integer RK / 100
        + Record(BiffRecord::kMulRk, U16(2) + U16(0) + U16(15) + U32((8u << 2) | 2) + U16(15) +
                                         U32((9u << 2) | 2) + U16(1)) +
        BoolErr(3, 0, 1, false) + BoolErr(3, 1, 0x07, true) + FormulaNumber(4, 0, 10) +
        FormulaSpecial(4, 1, 0) + StringRecord8(QStringLiteral("Formeltext")) +
        FormulaSpecial(4, 2, 3)  // empty text result
        + FormulaSpecial(5, 0, 1, 0) + FormulaSpecial(5, 1, 2, 0x2A) +
        Record(BiffRecord::kRString,
               CellHeader(6, 1) + String8(QStringLiteral("Reich")) + U16(1) + U16(0) + U16(1)) +
        Label8(6, 2, QStringLiteral("Привет")) + Number(6, 0, 11) + Blank(7, 0) +
        Record(BiffRecord::kMulBlank, U16(7) + U16(1) + U16(15) + U16(15) + U16(2));
    SourceTable table =
        XlsWorkbook(WriteSheet(folder, cells)).ReadSheet(QStringLiteral("TidxTexts"));
    ASSERT_EQ(table.rows.size(), 6u) << "blank cells hold no value and add no row";
    EXPECT_EQ(table.rows[0][0], Num(7));
    EXPECT_EQ(table.rows[0][1], Num(12.34));
    EXPECT_EQ(table.rows[1][0], Num(8));
    EXPECT_EQ(table.rows[1][1], Num(9));
    EXPECT_EQ(table.rows[2][0], Variant::Boolean(true));
    EXPECT_TRUE(table.rows[2][1].IsNull()) << "an error value";
    EXPECT_EQ(table.rows[3][0], Num(10));
    EXPECT_EQ(table.rows[3][1], Txt(u"Formeltext"));
    EXPECT_EQ(table.rows[3][2], Txt(u""));
    EXPECT_EQ(table.rows[4][0], Variant::Boolean(false));
    EXPECT_TRUE(table.rows[4][1].IsNull());
    EXPECT_EQ(table.rows[5][1], Txt(u"Reich"));
    EXPECT_EQ(table.rows[5][2], Txt(u"Привет"));
}

TEST(XlsWorkbook, SharedStringsContinuedAcrossRecords) {
    TempFolder folder;
    // Long enough to be split over CONTINUE records, and switching between
    // compressed and UTF-16 characters at the split.
    QString longLatin = QString(9000, QLatin1Char('a')) + QStringLiteral("Ende");
    QString longCyrillic = QString(5000, QChar(0x0416)) + QStringLiteral("конец");
    const QString after = QStringLiteral("nach den langen Texten: Ж");
    QStringList strings = {
        QStringLiteral("ID"), QStringLiteral("L1031"), longLatin, longCyrillic, QString(), after};
    // Cells name the strings out of their order, and some twice: each is read
    // where it stands, also one that begins in a CONTINUE record.
    QByteArray cells = LabelSst(0, 0, 0) + LabelSst(0, 1, 1) + Number(1, 0, 1) + LabelSst(1, 1, 5) +
                       Number(2, 0, 2) + LabelSst(2, 1, 2) + Number(3, 0, 3) + LabelSst(3, 1, 3) +
                       Number(4, 0, 4) + LabelSst(4, 1, 4) + Number(5, 0, 5) + LabelSst(5, 1, 2) +
                       Number(6, 0, 6) + LabelSst(6, 1, 5);
    SourceTable table = XlsWorkbook(WriteSheet(folder, cells, SharedStrings(strings)))
                            .ReadSheet(QStringLiteral("TidxTexts"));
    ASSERT_EQ(table.rows.size(), 6u);
    EXPECT_EQ(table.rows[0][1].ToText(), after);
    EXPECT_EQ(table.rows[1][1].ToText(), longLatin);
    EXPECT_EQ(table.rows[2][1].ToText(), longCyrillic);
    EXPECT_EQ(table.rows[3][1], Txt(u""));
    EXPECT_EQ(table.rows[4][1].ToText(), longLatin);
    EXPECT_EQ(table.rows[5][1].ToText(), after);
}

TEST(XlsWorkbook, DamagedRecordsAreErrorsNotReads) {
    TempFolder folder;
    const QByteArray header = Label8(0, 0, "ID") + Label8(0, 1, "L1031");
    struct Case {
        const char* what;
        QByteArray cells;
        QByteArray globals;
    };
    const std::vector<Case> cases = {
        {"label longer than its record",
         header + Record(BiffRecord::kLabel, CellHeader(1, 1) + U16(50) + U8(0) + "abc"),
         {}},
        {"number cut short", header + Record(BiffRecord::kNumber, CellHeader(1, 0) + U32(0)), {}},
        {"column beyond IV", header + Number(1, 300, 1), {}},
        {"record longer than the stream", header + U16(BiffRecord::kNumber) + U16(2000) + "xx", {}},
        {"string table cut inside a string", header,
         Record(BiffRecord::kSst, U32(1) + U32(1) + U16(10) + U8(0) + "abc")},
        {"string table splitting a character between records", header,
         Record(BiffRecord::kSst, U32(1) + U32(1) + U16(2) + U8(1) + QByteArray("a\0b", 3)) +
             Record(BiffRecord::kContinue, U8(1) + QByteArray("\0", 1))},
        {"encrypted", header, Record(BiffRecord::kFilePass, U16(0))},
    };
    for (const auto& c : cases) {
        QString path = WriteSheet(folder, c.cells, c.globals);
        EXPECT_EQ(ErrorNumberOf([&] { XlsWorkbook(path).ReadSheet(QStringLiteral("TidxTexts")); }),
                  ErrorNumber::ExternalFormat)
            << c.what;
    }
}

TEST(XlsWorkbook, AMissingSharedStringFailsOnlyTheImportOfItsColumn) {
    TempFolder folder;
    MessageRecorder messages;
    const QByteArray cells = Label8(0, 0, "ID") + Label8(0, 1, "L1031") + Label8(0, 2, "L1049") +
                             Number(1, 0, 1) + LabelSst(1, 1, 5) + Label8(1, 2, "neu");
    const QString path = WriteSheet(folder, cells, SharedStrings({"a"}));
    const SourceTable table = XlsWorkbook(path).ReadSheet(QStringLiteral("TidxTexts"));
    ASSERT_EQ(table.unreadable.size(), 1u);
    EXPECT_EQ(table.unreadable[0].column, 1u);
    EXPECT_TRUE(table.rows[0][1].IsNull());
    const QString project = folder.Path(QStringLiteral("Demo.qrp"));
    WriteProject(project, {{1, "alt", {}, "alt"}});
    const QString described =
        QStringLiteral(
            "Die Arbeitsmappe '%1' ist fehlerhaft: Tabelle TidxTexts, Zelle B2: "
            "Verweis auf einen fehlenden Text.")
            .arg(path);
    try {
        MLanguageTransfer::ImportLanguage(project, 1031, path);
        ADD_FAILURE() << "the import of the column with the cell goes through";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), ErrorNumber::ExternalFormat);
        EXPECT_EQ(error.Description(), described);
    }
    EXPECT_EQ(MLanguageTransfer::ImportLanguage(project, 1049, path).rows.changed, 1);
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1049")).at(1), Txt(u"neu"));
    // In the row of the column names the cell fails the sheet: its column has no name.
    const QString header = WriteSheet(folder, Label8(0, 0, "ID") + LabelSst(0, 1, 9), {});
    EXPECT_EQ(ErrorNumberOf([&] { XlsWorkbook(header).ReadSheet(QStringLiteral("TidxTexts")); }),
              ErrorNumber::ExternalFormat);
}

TEST(XlsWorkbook, FindsOnlyWorksheetsByName) {
    TempFolder folder;
    QString path = folder.Path(QStringLiteral("sheets.xls"));
    QByteArray chartCells = Label8(0, 0, "ID");
    WriteCompoundFile(path,
                      WorkbookStream(8, {},
                                     {{QStringLiteral("TidxTexts"), chartCells, 2},
                                      {QStringLiteral("Übersicht"), Label8(0, 0, "X")}}),
                      8);
    XlsWorkbook workbook(path);
    EXPECT_EQ(workbook.SheetNames(),
              QStringList({QStringLiteral("TidxTexts"), QStringLiteral("Übersicht")}));
    EXPECT_FALSE(workbook.HasSheet(QStringLiteral("TidxTexts"))) << "a chart sheet holds no table";
    EXPECT_TRUE(workbook.HasSheet(QStringLiteral("übersicht")));
}

TEST(XlsWorkbook, WithoutHeaderRowColumnsAreNumbered) {
    TempFolder folder;
    QString path =
        WriteSheet(folder, Number(0, 0, 1) + Label8(0, 1, "eins") + Label8(0, 3, "vier"));
    SourceTable table = XlsWorkbook(path).ReadSheet(QStringLiteral("TidxTexts"), false);
    EXPECT_EQ(table.columns, QStringList({"F1", "F2", "F3", "F4"}));
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0][3], Txt(u"vier"));
}

TEST(XlsWorkbook, Biff5CodePageRecordDecidesTheText) {
    TempFolder folder;
    QString path = folder.Path(QStringLiteral("biff5.xls"));
    QByteArray cells =
        Label5(0, 0, "ID") + Label5(0, 1, "L1049") + Number(1, 0, 1) + Label5(1, 1, "\xC4\xE0");
    WriteCompoundFile(path,
                      WorkbookStream(5, CodePage(1251), {{QStringLiteral("TidxTexts"), cells}}), 5);
    SourceTable table = XlsWorkbook(path).ReadSheet(QStringLiteral("TidxTexts"));
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0][1], Txt(u"Да"));
}

}  // namespace
