#include "CellGrid.h"
#include "CsvFile.h"
#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "TestSupport.h"
#include "TextFileEncoding.h"
#include "XlsxWorkbook.h"
#include "ZipWriter.h"

#include <QFile>

#include <sqlite3.h>

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

// Sources of more rows than are held in memory (the rest wait in a temporary
// file), text files read in pieces, and sheets whose cells come in any order.

namespace {

constexpr qsizetype kPiece = qsizetype{1} << 20;  // what a text file is read in at a time

// A text file whose byte at `at` of `row` is the last of the first piece read.
QByteArray WithByteAtTheCut(const QByteArray& row, qsizetype at, const QByteArray& rest) {
    QByteArray bytes = "ID,T\r\n";
    while (bytes.size() + 1000 < kPiece - at) bytes += "0,filler " + QByteArray(980, 'a') + "\r\n";
    // "0,x" and "\n" around the filling, "9," before the row
    const qsizetype fill = kPiece - 1 - at - bytes.size() - 4 - 2;
    bytes += "0,x" + QByteArray(fill, 'b') + "\n";
    EXPECT_EQ(bytes.size() + 2 + at, kPiece - 1);
    return bytes + "9," + row + rest;
}

TEST(CsvFileTest, APieceMayEndAnywhereInARecord) {
    struct Case {
        const char* what;
        QByteArray row;  // after "9,", with its line end
        qsizetype at;    // the byte of it that ends the first piece
        QString expected;
    };
    const std::vector<Case> cases = {
        {"the first of two quotes", "\"a\"\"b\"\r\n", 2, u"a\"b"_qs},
        {"the second of two quotes", "\"a\"\"b\"\r\n", 3, u"a\"b"_qs},
        {"the closing quote", "\"a\"\"b\"\r\n", 5, u"a\"b"_qs},
        {"CR before its LF", "abc\r\n", 3, u"abc"_qs},
        {"LF after CR", "abc\r\n", 4, u"abc"_qs},
        {"a line break inside quotes", "\"x\ny\"\r\n", 2, u"x\ny"_qs},
        {"the opening quote", "\"x\ny\"\r\n", 0, u"x\ny"_qs},
        {"a quote closing an empty text", "\"\"\r\n", 1, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SourceTable table =
            CsvFile::Parse(WithByteAtTheCut(c.row, c.at, "2,z\r\n"), u"t.csv"_qs);
        ASSERT_GE(table.rows.size(), 2u);
        const auto last = table.rows.back(), before = table.rows[table.rows.size() - 2];
        EXPECT_EQ(before[0], Variant(u"9"_qs));
        EXPECT_EQ(before[1], Variant(c.expected));
        EXPECT_EQ(last, (std::vector<Variant>{u"2"_qs, u"z"_qs}));
        EXPECT_EQ(table.columns, QStringList({u"ID"_qs, u"T"_qs}));
    }
}

TEST(CsvFileTest, LinesAreCountedAcrossPieces) {
    // A quote left open after the first piece names the line it opened in.
    const QByteArray open = WithByteAtTheCut("\"offen\r\n", 0, "2,z\r\n");
    const auto line = open.count('\n');  // the open quote's line is the last but one
    EXPECT_EQ(ErrorText([&] { CsvFile::Parse(open, u"/x/o.csv"_qs); }),
              u"3274 Die Textdatei '/x/o.csv' ist fehlerhaft: Zeile %1: ein "
              "Anführungszeichen wird nicht geschlossen."_qs.arg(line - 1));
    // A byte that is no UTF-8 in a later piece is listed with its line.
    QByteArray faulty = WithByteAtTheCut("\xC3\xA4\xC3\xB6\xC3\xA4\xC3\xB6\r\n", 8,
                                         "2,Gr\xFC\xDF"
                                         "e\r\n");
    const SourceTable table = CsvFile::Parse(faulty, u"t.csv"_qs);
    ASSERT_EQ(table.reading.invalidBytes.size(), 2u);
    EXPECT_EQ(table.reading.invalidBytes[0].line, faulty.count('\n'));
    EXPECT_EQ(table.reading.invalidBytes[0].readAs, u"ü"_qs);
    EXPECT_EQ(table.rows.back()[1], Variant(u"Grüße"_qs));
}

TEST(TextFileEncodingTest, AMegabyteWithoutABreakIsNotCutInsideACharacter) {
    for (const QByteArray& character :
         {QByteArray("\xC3\xA4"), QByteArray("\xE2\x82\xAC"), QByteArray("\xF0\x9F\x98\x80")}) {
        const QByteArray text =
            QByteArray(3 * kPiece / character.size(), 'x').replace("x", character);
        const TextFileEncoding::Decoded decoded =
            TextFileEncoding::Decode("\xEF\xBB\xBF" + text, 0, 1252);
        EXPECT_TRUE(decoded.reading.invalidBytes.empty()) << character.size();
        EXPECT_TRUE(decoded.utf8 == text) << character.size();
    }
}

// The cells of a sheet: a heading row at row 1, values from column C on, an
// empty row, two unreadable cells in one column.
struct SheetCell {
    uint32_t row, col;
    Variant value;
    bool unreadable = false;
};
std::vector<SheetCell> SheetCells(uint32_t rows) {
    std::vector<SheetCell> cells = {{1, 2, u"ID"_qs}, {1, 3, u"L1049"_qs}, {1, 5, u"L1031"_qs}};
    for (uint32_t r = 2; r < rows + 2; ++r) {
        if (r == 5) continue;  // an empty row stays a row of the table
        cells.push_back({r, 2, static_cast<double>(r)});
        cells.push_back({r, 3, u"Текст %1"_qs.arg(r)});
        if (r % 3 == 0) cells.push_back({r, 5, Variant::Boolean(r % 2 == 0)});
    }
    cells.push_back({rows / 2 + 2, 4, {}, true});
    cells.push_back({rows + 1, 4, {}, true});
    return cells;
}

SourceTable TableOf(const std::vector<SheetCell>& cells) {
    CellGrid grid(u"TidxTexts"_qs, 16384, 100'000'000, true);
    for (const SheetCell& cell : cells) {
        if (cell.unreadable)
            grid.SetUnreadable(cell.row, cell.col,
                               RuntimeError::SourceDamaged(u"Arbeitsmappe"_qs, u"t.xlsx"_qs,
                                                           CellGrid::CellName(cell.row, cell.col)));
        else
            grid.Set(cell.row, cell.col, cell.value);
    }
    return std::move(grid).Table(u"t.xlsx"_qs, u"TidxTexts"_qs);
}

TEST(CellGridTest, CellsInAnyOrderMakeTheSameTable) {
    for (const uint32_t rows : {20u, 9000u}) {
        SCOPED_TRACE(rows);
        const std::vector<SheetCell> byRow = SheetCells(rows);
        const SourceTable expected = TableOf(byRow);
        ASSERT_EQ(expected.columns, QStringList({u"ID"_qs, u"L1049"_qs, u"F3"_qs, u"L1031"_qs}));
        ASSERT_EQ(expected.rows.size(), rows);
        EXPECT_EQ(expected.rows[0], (std::vector<Variant>{2.0, u"Текст 2"_qs, {}, {}}));
        EXPECT_EQ(expected.rows[3], (std::vector<Variant>(4)));  // sheet row 5
        EXPECT_EQ(expected.rows[rows - 1][0], Variant(static_cast<double>(rows + 1)));
        ASSERT_EQ(expected.unreadable.size(), 1u);
        EXPECT_EQ(expected.unreadable[0].column, 2u);
        EXPECT_TRUE(expected.unreadable[0].error.Description().endsWith(
            CellGrid::CellName(rows / 2 + 2, 4) + u"."_qs));

        std::vector<SheetCell> reversed(byRow.rbegin(), byRow.rend());
        std::vector<SheetCell> byColumn = byRow;
        std::stable_sort(byColumn.begin(), byColumn.end(),
                         [](const auto& a, const auto& b) { return a.col < b.col; });
        for (const auto& [order, cells] :
             {std::pair{"reversed", reversed}, std::pair{"by column", byColumn}}) {
            SCOPED_TRACE(order);
            const SourceTable table = TableOf(cells);
            EXPECT_EQ(table.columns, expected.columns);
            ASSERT_EQ(table.rows.size(), expected.rows.size());
            auto read = table.rows.begin();
            for (const auto& row : expected.rows) {
                ASSERT_EQ(*read, row);
                ++read;
            }
            ASSERT_EQ(table.unreadable.size(), 1u);
            EXPECT_EQ(table.unreadable[0].error.Description(),
                      expected.unreadable[0].error.Description());
        }
    }
}

// Writes the rows to a SQLite file as they are: numbers as reals, texts as texts.
void WriteDatabase(const QString& path, const SourceTable& table) {
    RunSql(path, u"CREATE TABLE TidxTexts(ID, L1049)"_qs);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO TidxTexts VALUES (?, ?)", -1, &insert, nullptr);
    for (const auto& row : table.rows) {
        for (int c = 0; c < 2; ++c) {
            const Variant& cell = row[static_cast<size_t>(c)];
            if (cell.IsNumber())
                sqlite3_bind_double(insert, c + 1, cell.Number());
            else if (cell.IsNull())
                sqlite3_bind_null(insert, c + 1);
            else
                sqlite3_bind_text(insert, c + 1, cell.ToText().toUtf8().constData(), -1,
                                  SQLITE_TRANSIENT);
        }
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// 10,000 source rows: IDs the project has and has not (6,000 of them), repeated IDs, IDs without
// a number, rows without an ID, texts that change and texts that stay.
struct SourceRow {
    QString id;  // empty: no ID
    QString text;
};
std::vector<SourceRow> SourceRows(bool shuffled) {
    std::vector<SourceRow> rows;
    for (int i = 1; i <= 10000; ++i)
        rows.push_back(
            {QString::number(i), i % 7 == 0 ? u"alt %1"_qs.arg(i) : u"Текст %1"_qs.arg(i)});
    rows.insert(rows.begin() + 100, {u"100"_qs, u"noch einmal"_qs});
    rows.insert(rows.begin() + 6000, {u"abc"_qs, u"ohne Nummer"_qs});
    rows.insert(rows.begin() + 7000, {QString(), u"ohne ID"_qs});
    rows.push_back({u"4242"_qs, u"zuletzt"_qs});
    if (shuffled) std::shuffle(rows.begin(), rows.end(), std::mt19937(28));
    return rows;
}

void WriteCsv(const QString& path, const std::vector<SourceRow>& rows) {
    QByteArray bytes = CsvFile::Row({{u"ID"_qs}, {u"L1049"_qs}});
    for (const SourceRow& row : rows)
        bytes += CsvFile::Row({{row.id, row.id.isEmpty()}, {row.text}});
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// IDs as numbers where they are, texts as inline strings.
void WriteXlsx(const QString& path, const std::vector<SourceRow>& rows) {
    QByteArray data = R"(<row r="1"><c r="A1" t="inlineStr"><is><t>ID</t></is></c>)"
                      R"(<c r="B1" t="inlineStr"><is><t>L1049</t></is></c></row>)";
    int r = 2;
    for (const SourceRow& row : rows) {
        const QByteArray n = QByteArray::number(r++);
        data += "<row r=\"" + n + "\">";
        bool number = false;
        row.id.toInt(&number);
        if (number)
            data += "<c r=\"A" + n + "\"><v>" + row.id.toUtf8() + "</v></c>";
        else if (!row.id.isEmpty())
            data +=
                "<c r=\"A" + n + "\" t=\"inlineStr\"><is><t>" + row.id.toUtf8() + "</t></is></c>";
        data += "<c r=\"B" + n + "\" t=\"inlineStr\"><is><t>" + row.text.toUtf8() +
                "</t></is></c></row>";
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(XlsxContainer(
        "<worksheet "
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" +
            data + "</sheetData></worksheet>",
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"/>"));
}

template <typename List>
std::vector<std::pair<int64_t, QString>> Listed(const List& ids) {
    std::vector<std::pair<int64_t, QString>> listed;
    for (const auto& id : ids) listed.emplace_back(id.row, id.id);
    return listed;
}

// The same rows imported from a database file, read row by row from there.
void ExpectImportsAsItsDatabaseCopy(const QString& source, const SourceTable& read,
                                    const TempFolder& folder) {
    const QString database = folder.Path(u"Kopie.mdb"_qs);
    WriteDatabase(database, read);
    std::vector<ProjectRow> projectRows;
    for (int i = 0; i <= 4000; ++i) projectRows.push_back({i, {}, {}, u"alt %1"_qs.arg(i)});
    const QString fromSource = folder.Path(u"A.qrp"_qs), fromDatabase = folder.Path(u"B.qrp"_qs);
    WriteProject(fromSource, projectRows);
    WriteProject(fromDatabase, projectRows);
    const ImportReport a = MLanguageTransfer::ImportLanguage(fromSource, 1049, source);
    const ImportReport b = MLanguageTransfer::ImportLanguage(fromDatabase, 1049, database);
    EXPECT_EQ(a.rows.sourceRows, 10004);
    EXPECT_EQ(a.rows.sourceRows, b.rows.sourceRows);
    EXPECT_EQ(a.rows.nullKeys, 1);
    EXPECT_EQ(a.rows.nullKeys, b.rows.nullKeys);
    EXPECT_EQ(a.rows.matched, b.rows.matched);
    EXPECT_GT(a.rows.changed, 3000);
    EXPECT_EQ(a.rows.changed, b.rows.changed);
    EXPECT_EQ(a.rows.unchanged, b.rows.unchanged);
    EXPECT_EQ(a.rows.unmatched.size(), 6001u);  // beyond the rows a list keeps in memory
    EXPECT_EQ(Listed(a.rows.unmatched), Listed(b.rows.unmatched));
    ASSERT_EQ(a.rows.duplicates.size(), 2u);
    ASSERT_EQ(b.rows.duplicates.size(), 2u);
    for (size_t d = 0; d < 2; ++d)
        EXPECT_EQ(Listed(a.rows.duplicates[d].rows), Listed(b.rows.duplicates[d].rows));
    ASSERT_EQ(a.rows.noNumber.size(), 1u);
    ASSERT_EQ(b.rows.noNumber.size(), 1u);
    EXPECT_EQ(a.rows.noNumber[0].source.row, b.rows.noNumber[0].source.row);
    EXPECT_EQ(a.rows.noNumber[0].applied, b.rows.noNumber[0].applied);
    EXPECT_EQ(ReadColumn(fromSource, u"L1049"_qs), ReadColumn(fromDatabase, u"L1049"_qs));
}

TEST(LargeSourceTest, RowsBeyondMemoryImportAsTheSameRowsFromADatabase) {
    for (const bool shuffled : {false, true}) {
        for (const QString& extension : {u"csv"_qs, u"xlsx"_qs}) {
            SCOPED_TRACE(
                (extension + (shuffled ? u", shuffled"_qs : u", in ID order"_qs)).toStdString());
            TempFolder folder;
            MessageRecorder messages;
            const QString source = folder.Path(u"Quelle."_qs + extension);
            const std::vector<SourceRow> rows = SourceRows(shuffled);
            if (extension == u"csv"_qs)
                WriteCsv(source, rows);
            else
                WriteXlsx(source, rows);
            const SourceTable read = extension == u"csv"_qs
                                         ? CsvFile::Read(source)
                                         : XlsxWorkbook(source).ReadSheet(u"TidxTexts"_qs);
            ASSERT_EQ(read.rows.size(), rows.size());
            ExpectImportsAsItsDatabaseCopy(source, read, folder);
        }
    }
}

}  // namespace
