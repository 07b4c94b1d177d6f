// A sheet read on a thread of its own: the rows it streams are in its table too,
// for an import whose rows come out of key order and are read again sorted.
#include "RuntimeError.h"
#include "SheetReading.h"
#include "SourceFormats.h"
#include "TestSupport.h"
#include "ZipWriter.h"

#include <QFile>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace {

// Takes the rows on the reader's thread; Wait() until the reading ended.
class CountingSink : public SheetStream::Sink {
  public:
    void Add(const SheetStream::Cells& cells) override {
        ++rows;
        if (cells.size() > 1 && !cells[1].IsNull()) last = cells[1].ToText();
    }
    void End(std::exception_ptr failure, bool) override {
        std::lock_guard lock(mutex_);
        ended_ = true;
        failed = failure != nullptr;
        changed_.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return ended_; });
    }
    size_t rows = 0;
    QString last;
    bool failed = false;

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false;
};

QString Workbook(const TempFolder& folder, int rows, const QByteArray& tail = {}) {
    QByteArray sheet =
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>ID</t></is></c>"
        "<c r=\"B1\" t=\"inlineStr\"><is><t>L1031</t></is></c></row>";
    for (int i = 1; i <= rows; ++i)
        sheet += QStringLiteral(
                     "<row r=\"%1\"><c r=\"A%1\"><v>%2</v></c><c r=\"B%1\" "
                     "t=\"inlineStr\"><is><t>Text %2</t></is></c></row>")
                     .arg(i + 1)
                     .arg(i)
                     .toUtf8();
    sheet += tail + "</sheetData></worksheet>";
    const QString path = folder.Path(QStringLiteral("Mappe.xlsx"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(XlsxContainer(sheet,
                             "<sst xmlns=\"http://schemas.openxmlformats.org/"
                             "spreadsheetml/2006/main\"/>"));
    return path;
}

TEST(SheetReadingTest, TheTableHoldsTheRowsItStreamed) {
    TempFolder folder;
    // More rows than a table keeps in memory before it writes them to a file.
    const int rows = 6000;
    SheetReading reading(*SourceFormats::ForExtension(QStringLiteral("xlsx")),
                         Workbook(folder, rows), QStringLiteral("TidxTexts"), {});
    ASSERT_TRUE(reading.Header().has_value());
    CountingSink sink;
    reading.Stream().Attach(&sink);
    sink.Wait();
    EXPECT_EQ(sink.rows, static_cast<size_t>(rows));
    EXPECT_EQ(sink.last, QStringLiteral("Text 6000"));

    const SourceTable& whole = reading.Table();
    EXPECT_EQ(whole.columns, (QStringList{QStringLiteral("ID"), QStringLiteral("L1031")}));
    ASSERT_EQ(whole.rows.size(), static_cast<size_t>(rows));
    EXPECT_EQ(whole.rows[0][0], Variant(1.0));
    EXPECT_EQ(whole.rows[rows - 1][1], Variant("Text 6000"));
}

TEST(SheetReadingTest, AFaultFoundLateEndsTheStreamAndFailsTheTable) {
    TempFolder folder;
    SheetReading reading(*SourceFormats::ForExtension(QStringLiteral("xlsx")),
                         Workbook(folder, 10, "<row r=\"2\"/>"), QStringLiteral("TidxTexts"), {});
    ASSERT_TRUE(reading.Header().has_value());
    CountingSink sink;
    reading.Stream().Attach(&sink);
    sink.Wait();
    EXPECT_TRUE(sink.failed);
    const QString path = folder.Path(QStringLiteral("Mappe.xlsx"));
    EXPECT_EQ(ErrorText([&] { reading.Table(); }),
              u"3274 Die Arbeitsmappe '%1' ist fehlerhaft: Teil xl/sheets/one.xml, Zeile 1: "
              "ungültige Zeilennummer."_qs.arg(path));
}

}  // namespace
