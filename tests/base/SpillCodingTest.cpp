#include "SourceRows.h"
#include "SpillCoding.h"
#include "SpillList.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

// What a report list or a source table writes to its temporary file reads back
// exactly: every integer, real and text, a null text apart from an empty one,
// and a file cut short ends the reading instead of inventing entries.
namespace {

QByteArray Written(const std::function<void(SpillWriter&)>& write) {
    std::string bytes;
    SpillWriter out(bytes);
    write(out);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

TEST(SpillCoding, ValuesReadBackAsWritten) {
    const int64_t ints[] = {0,
                            1,
                            -1,
                            63,
                            64,
                            -64,
                            -65,
                            127,
                            128,
                            16383,
                            16384,
                            1LL << 40,
                            -(1LL << 40),
                            std::numeric_limits<int64_t>::max(),
                            std::numeric_limits<int64_t>::min()};
    const double reals[] = {0.0, -0.5, 1e300, -1e-300, std::numeric_limits<double>::infinity()};
    const QString texts[] = {QString(), QStringLiteral(""), QStringLiteral("ä"),
                             QStringLiteral("Größe \U0001F600 ß"), QString(100000, u'x')};
    QByteArray bytes = Written([&](SpillWriter& out) {
        for (const int64_t i : ints) out.Int(i);
        for (const double r : reals) out.Real(r);
        for (const QString& t : texts) out.Text(t);
        out.Byte(0xFF);
    });
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    SpillReader in(device);
    for (const int64_t i : ints) EXPECT_EQ(in.Int(), i);
    for (const double r : reals) EXPECT_EQ(in.Real(), r);
    for (const QString& t : texts) {
        const QString read = in.Text();
        EXPECT_EQ(read, t);
        EXPECT_EQ(read.isNull(), t.isNull()) << "a null text stays null, an empty one empty";
    }
    EXPECT_EQ(in.Byte(), 0xFF);
    EXPECT_FALSE(in.Failed());
    EXPECT_EQ(in.Int(), 0) << "past the end";
    EXPECT_TRUE(in.Failed());
}

TEST(SpillCoding, AFileCutShortEndsTheReading) {
    const QByteArray whole = Written([](SpillWriter& out) {
        out.Int(5);
        out.Text(QStringLiteral("abc"));
        out.Int(7);
    });
    struct Case {
        int cut;  // bytes taken off the end
        bool textRead;
    };
    for (const Case& c : {Case{1, true}, Case{2, false}, Case{5, false}}) {
        SCOPED_TRACE(c.cut);
        QByteArray bytes = whole.left(whole.size() - c.cut);
        QBuffer device(&bytes);
        device.open(QIODevice::ReadOnly);
        SpillReader in(device);
        EXPECT_EQ(in.Int(), 5);
        EXPECT_EQ(in.Text(), c.textRead ? QStringLiteral("abc") : QString());
        EXPECT_EQ(in.Int(), 0);
        EXPECT_TRUE(in.Failed());
    }
    // A length beyond the file is refused before anything is allocated for it.
    QByteArray huge = Written([](SpillWriter& out) { out.Int(int64_t{1} << 40); });
    QBuffer device(&huge);
    device.open(QIODevice::ReadOnly);
    SpillReader in(device);
    EXPECT_TRUE(in.Text().isNull());
    EXPECT_TRUE(in.Failed());
}

TEST(SpillCoding, SourceRowsBeyondTheBatchKeepEveryKindOfCell) {
    const std::vector<Variant> cells = {
        Variant(),
        Variant(QStringLiteral("")),
        Variant(QStringLiteral("Größe")),
        Variant(1.5),
        Variant(-0.0),
        Variant::Boolean(true),
        Variant::Boolean(false),
        Variant::Utf8(QByteArray("\xD0\xA2\xD0\xB5\xD0\xBA\xD1\x81\xD1\x82")),
        Variant::Utf8(QByteArray(""))};
    SpillList<StoredRow> rows;
    const size_t count = SpillList<StoredRow>::kBatch + 3;
    for (size_t i = 0; i < count; ++i) rows.push_back({cells});
    size_t n = 0;
    for (const StoredRow& row : rows) {
        ASSERT_EQ(row.cells.size(), cells.size()) << n;
        for (size_t k = 0; k < cells.size(); ++k) {
            EXPECT_EQ(row.cells[k].IsNull(), cells[k].IsNull()) << n << " " << k;
            EXPECT_EQ(row.cells[k].IsText(), cells[k].IsText()) << n << " " << k;
            EXPECT_EQ(row.cells[k].IsBoolean(), cells[k].IsBoolean()) << n << " " << k;
            if (cells[k].IsText()) {
                EXPECT_EQ(row.cells[k].Text(), cells[k].Text());
                EXPECT_EQ(row.cells[k].Utf8Text() != nullptr, cells[k].Utf8Text() != nullptr)
                    << "a text in UTF-8 stays so " << n << " " << k;
            }
            if (cells[k].IsNumber()) {
                EXPECT_EQ(row.cells[k].Number(), cells[k].Number());
                EXPECT_EQ(std::signbit(row.cells[k].Number()), std::signbit(cells[k].Number()));
            }
            if (cells[k].IsBoolean()) {
                EXPECT_EQ(row.cells[k].BooleanValue(), cells[k].BooleanValue());
            }
        }
        ++n;
    }
    EXPECT_EQ(n, count);
}

}  // namespace
