#include "SourceRowFeed.h"
#include "SourceRows.h"
#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace {

// What a feed showed of a row, kept beyond the next one.
struct Shown {
    int64_t place;
    bool keyIsNull;
    double key;
    SourceRowFeed::IdKind idKind;
    std::string id;
    bool valueIsNull;
    std::string value;
    std::string converted;
};

std::vector<Shown> ReadAll(SourceRowFeed& feed) {
    std::vector<Shown> rows;
    while (const SourceRowFeed::Row* row = feed.Next())
        rows.push_back({row->place, row->keyIsNull, row->key, row->idKind, std::string(row->id),
                        row->valueIsNull, std::string(row->value),
                        row->converted ? std::string(row->convertedValue) : std::string("-")});
    return rows;
}

// Upper-cases ASCII, so that the converted value shows.
const SourceRowFeed::Conversion kUpper = [](double, int64_t, QByteArray& text) {
    text = text.toUpper();
};

class SourceRowFeedTest : public testing::Test {
  protected:
    void SetUp() override {
        const QString path = folder.Path(QStringLiteral("Quelle.db"));
        // Beside the few rows checked one by one, enough rows and bytes for
        // several batches, with a text far larger than a batch among them.
        RunSql(path, QStringLiteral(
                         "CREATE TABLE t(k, v); INSERT INTO t VALUES (NULL, 'ohne'), "
                         "('0042', 'zweiundvierzig'), (' 7x', NULL), (2.5, 3.25), (9, ''), "
                         "(10, 11); WITH RECURSIVE n(i) AS (SELECT 100 UNION ALL SELECT i + 1 "
                         "FROM n WHERE i < 5099) INSERT INTO t SELECT i, 'text ' || i FROM n; "
                         "INSERT INTO t VALUES (6000, replace(hex(zeroblob(1500000)), '0', 'a'))"));
        ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT k, v, rowid FROM t", -1, &select, nullptr),
                  SQLITE_OK);
    }
    void TearDown() override {
        sqlite3_finalize(select);
        sqlite3_close(db);
    }
    TempFolder folder;
    sqlite3* db = nullptr;
    sqlite3_stmt* select = nullptr;
};

TEST_F(SourceRowFeedTest, ShowsEveryRowAsTheStatementSeesIt) {
    using Kind = SourceRowFeed::IdKind;
    for (const bool ownThread : {true, false}) {
        SCOPED_TRACE(ownThread ? "own thread" : "as asked");
        sqlite3_reset(select);
        SourceRowFeed feed(db, select, ownThread, &kUpper);
        const std::vector<Shown> rows = ReadAll(feed);
        EXPECT_FALSE(feed.Failed());
        ASSERT_EQ(rows.size(), 6u + 5000u + 1u);
        EXPECT_TRUE(rows[0].keyIsNull);
        EXPECT_EQ(rows[1].idKind, Kind::Digits);
        EXPECT_EQ(rows[1].id, "0042");
        EXPECT_EQ(rows[1].key, 42.0);
        EXPECT_EQ(rows[1].converted, "ZWEIUNDVIERZIG");
        EXPECT_EQ(rows[2].idKind, Kind::Text);
        EXPECT_EQ(rows[2].key, 7.0) << "Val() of the text";
        EXPECT_TRUE(rows[2].valueIsNull);
        EXPECT_EQ(rows[3].idKind, Kind::Number);
        EXPECT_EQ(rows[3].key, 2.5);
        EXPECT_EQ(rows[3].value, "3.25") << "a number in its shortest form";
        for (size_t i = 6; i < 5006; ++i) {
            const auto id = static_cast<double>(i + 94);
            ASSERT_EQ(rows[i].place, static_cast<int64_t>(i + 1));
            ASSERT_EQ(rows[i].key, id);
            ASSERT_EQ(rows[i].value, "text " + std::to_string(i + 94));
        }
        EXPECT_EQ(rows.back().value.size(), 3000000u);
        EXPECT_TRUE(rows.back().converted == std::string(3000000, 'A'));
    }
}

TEST_F(SourceRowFeedTest, StopsReadingWhenLeftEarly) {
    for (const size_t read : {0u, 1u, 2000u}) {
        sqlite3_reset(select);
        {
            SourceRowFeed feed(db, select, true, nullptr);
            for (size_t i = 0; i < read; ++i) ASSERT_NE(feed.Next(), nullptr);
        }  // the reading thread, waiting with its batches full, ends
        sqlite3_reset(select);
        EXPECT_EQ(sqlite3_step(select), SQLITE_ROW) << "the statement is free again";
    }
}

TEST_F(SourceRowFeedTest, AConversionThatFailsFailsItsRowOnly) {
    const SourceRowFeed::Conversion refuse = [](double key, int64_t, QByteArray&) {
        if (key == 9) throw std::runtime_error("nein");
    };
    SourceRows rows;
    rows.push_back({Variant(1.0), Variant("eins")});
    rows.push_back({Variant("9"), Variant("neun")});
    rows.push_back({Variant(3.0)});
    SourceRowFeed feed(rows, 0, 1, &refuse);
    const SourceRowFeed::Row* row = feed.Next();
    ASSERT_NE(row, nullptr);
    EXPECT_FALSE(row->conversionFailure);
    EXPECT_EQ(row->convertedValue, "eins");
    row = feed.Next();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->idKind, SourceRowFeed::IdKind::Digits);
    EXPECT_TRUE(row->conversionFailure);
    row = feed.Next();
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->valueIsNull) << "a missing cell is Null";
    EXPECT_EQ(feed.Next(), nullptr);
    EXPECT_FALSE(feed.Failed());
}

// A sheet's rows are converted by the reader's thread or by the statement's,
// whichever has time: the reader's while the statement is the slower, the
// statement's while it waits for rows. Either way every row once, in order,
// never by both threads at the same time.
TEST(SourceRowFeedOfASheet, ConvertsEveryRowOnceInOrderOnEitherThread) {
    constexpr int64_t kRows = 8 * 1024, kPause = 256;
    const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); };
    std::mutex mutex;
    std::vector<int64_t> places;
    std::set<std::thread::id> threads;
    std::atomic<int> inside = 0;
    std::atomic<bool> overlapped = false;
    const SourceRowFeed::Conversion upper = [&](double, int64_t place, QByteArray& text) {
        if (inside.fetch_add(1) != 0) overlapped = true;
        {
            std::lock_guard lock(mutex);
            places.push_back(place);
            threads.insert(std::this_thread::get_id());
        }
        text = text.toUpper();
        inside.fetch_sub(1);
    };
    SheetStream sheet;
    std::thread reader([&] {
        sheet.Header({Variant("ID"), Variant("Text")}, true);
        for (int64_t i = 1; i <= kRows; ++i) {
            if (i <= kRows / 2 && i % kPause == 0) pause();  // the first half read slowly
            sheet.Row({Variant(static_cast<double>(i)),
                       Variant::Utf8(QByteArray("text ") + QByteArray::number(i))});
        }
        sheet.Finish();
    });
    ASSERT_TRUE(sheet.Header());
    int64_t read = 0;
    {
        SourceRowFeed feed(sheet, 0, 1, &upper);
        while (const SourceRowFeed::Row* row = feed.Next()) {
            ++read;
            ASSERT_EQ(row->place, read);
            ASSERT_TRUE(row->converted);
            ASSERT_EQ(row->convertedValue, "TEXT " + std::to_string(read));
            if (read > kRows / 2 && read % kPause == 0) pause();  // the second half used slowly
        }
        EXPECT_FALSE(feed.Failed());
    }
    reader.join();
    EXPECT_EQ(read, kRows);
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(places.size(), static_cast<size_t>(kRows));
    for (int64_t i = 0; i < kRows; ++i) ASSERT_EQ(places[static_cast<size_t>(i)], i + 1);
    EXPECT_EQ(threads.size(), 2u) << "each thread converted while the other was the slower";
}

}  // namespace
