#include "SharedStringTable.h"

#include "RuntimeError.h"

#include <QString>

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

QString Text(int i) { return u"Текст %1 mit Länge"_qs.arg(i); }

// A table of count texts, "Текст <i> mit Länge", each told as added.
void Fill(SharedStringTable& table, int count) {
    for (int i = 0; i < count; ++i) table.Add(Text(i).toStdString());
    table.Finish();
}

// Tables held in memory and tables beyond it, in a temporary file, read in the
// order cells show them mostly and against it.
TEST(SharedStringTable, TextsReadBackWhereverTheyAreKept) {
    struct Case {
        const char* name;
        int count;
    };
    const size_t bytesEach = Text(0).toStdString().size();
    for (const Case& c :
         {Case{"in memory", 1000},
          Case{"in a file", static_cast<int>(3 * SharedStringTable::kInMemoryBytes / bytesEach)}}) {
        SharedStringTable table;
        Fill(table, c.count);
        ASSERT_EQ(table.size(), static_cast<size_t>(c.count)) << c.name;
        for (int i = 0; i < c.count; i += 997) EXPECT_EQ(table.At(i), Text(i)) << c.name << i;
        for (int i = c.count - 1; i >= 0; i -= 7919) EXPECT_EQ(table.At(i), Text(i)) << c.name << i;
        // From the middle on, a text shown before between each two.
        for (int i = c.count / 2; i < c.count; i += 331) {
            EXPECT_EQ(table.At(i), Text(i)) << c.name << i;
            EXPECT_EQ(table.At(i / 7), Text(i / 7)) << c.name << i / 7;
        }
        EXPECT_EQ(table.At(c.count - 1), Text(c.count - 1)) << c.name;
        EXPECT_EQ(table.At(0), Text(0)) << c.name;
    }
}

TEST(SharedStringTable, TextsAsCellsShowThem) {
    SharedStringTable table;
    const std::string longest(32767, 'x'), tooLong(32768, 'x');
    // Five characters written as one: "_x0041_" is "A".
    const std::string escaped = std::string(32767, 'y') + "_x0041_";
    for (const std::string& text : {std::string(), std::string("a_x000D_b"), longest, tooLong,
                                    escaped, std::string("_x005F_x0041_")})
        table.Add(text);
    table.Finish();
    EXPECT_EQ(table.At(0), QString());
    EXPECT_EQ(table.At(1), u"a\rb"_qs);
    // Long texts are kept once made: asked again, they are the same.
    for (int again = 0; again < 2; ++again) {
        EXPECT_EQ(table.At(2), QString::fromStdString(longest)) << again;
        EXPECT_FALSE(table.At(3)) << "longer than a cell holds";
        EXPECT_FALSE(table.At(4)) << "32,768 characters once its escape is read";
    }
    EXPECT_EQ(table.At(5), u"_x0041_"_qs) << "an escaped \"_x\"";
}

// A cell holds 32,767 UTF-16 units however many bytes of UTF-8 they take.
TEST(SharedStringTable, TextsBeyondAsciiAreHeldToTheUnitsOfACell) {
    const QString cyrillic(32767, QChar(0x0416));                    // 65,534 bytes
    const QString emoji = QString::fromUtf16(u"😀").repeated(16383);  // 32,766 units
    struct Case {
        const char* what;
        QString text;
        bool fits;
    };
    const Case cases[] = {
        {"32,767 two-byte characters", cyrillic, true},
        {"one more", cyrillic + QChar(0x0416), false},
        {"16,383 four-byte characters and one", emoji + u'x', true},
        {"16,384 four-byte characters", emoji + QString::fromUtf16(u"😀"), false},
    };
    SharedStringTable table;
    for (const Case& c : cases) table.Add(c.text.toStdString());
    table.Finish();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::optional<Variant> text = table.At(i);
        EXPECT_EQ(text.has_value(), cases[i].fits) << cases[i].what;
        if (text && cases[i].fits) {
            EXPECT_EQ(text->Text(), cases[i].text) << cases[i].what;
        }
    }
}

// Filled on one thread while read on another: a cell asking for a text not
// yet there waits for it, in memory and beyond it, and one beyond the end
// learns the end or what the filling failed with.
TEST(SharedStringTable, FilledBesideItsReading) {
    struct Case {
        const char* what;
        int count;
        int failAfter;  // texts, or -1
    };
    const int beyondMemory = static_cast<int>(2 * SharedStringTable::kInMemoryBytes / 400);
    for (const Case& c : {Case{"in memory", 5000, -1}, Case{"in a file", beyondMemory, -1},
                          Case{"failing", 5000, 3000}}) {
        SCOPED_TRACE(c.what);
        const auto text = [](int i) { return Text(i) + QString(i % 3 == 0 ? 800 : 100, u'x'); };
        SharedStringTable table;
        table.FillBeside();
        std::jthread filler([&] {
            for (int i = 0; i < c.count; ++i) {
                if (i == c.failAfter) {
                    table.Fail(std::make_exception_ptr(std::runtime_error("kaputt")));
                    return;
                }
                table.Add(text(i).toStdString());
            }
            table.Finish();
        });
        const int readable = c.failAfter < 0 ? c.count : c.failAfter;
        for (int i = 0; i < readable; ++i) {
            ASSERT_TRUE(table.Has(i)) << i;
            ASSERT_EQ(table.At(i), text(i)) << i;
            if (i % 1000 == 999) {
                ASSERT_EQ(table.At(i / 2), text(i / 2)) << "again, " << i / 2;
            }
        }
        if (c.failAfter < 0) {
            EXPECT_FALSE(table.Has(c.count)) << "beyond the last text";
        } else {
            EXPECT_THROW(table.Has(c.failAfter), std::runtime_error);
        }
    }
}

// The same read between the texts' adding, on one thread: beyond memory, the
// texts asked for lie in the piece not yet written to the file.
TEST(SharedStringTable, FilledBesideAndReadBetween) {
    const auto text = [](int i) { return Text(i) + QString(300, u'x'); };
    const int count = static_cast<int>(2 * SharedStringTable::kInMemoryBytes / 300);
    SharedStringTable table;
    table.FillBeside();
    for (int i = 0; i < count; ++i) {
        table.Add(text(i).toStdString());
        if (i >= 1000 && i % 97 == 0) {
            ASSERT_TRUE(table.Has(i - 1000)) << i;
            ASSERT_EQ(table.At(i - 1000), text(i - 1000)) << i;
        }
    }
    table.Finish();
    EXPECT_EQ(table.At(count - 1), text(count - 1));
    EXPECT_FALSE(table.Has(count));
}

// A reading that wants no more texts ends the filling at its next texts.
TEST(SharedStringTable, AnAbandonedFillingEnds) {
    SharedStringTable table;
    table.FillBeside();
    table.Abandon();
    int added = 0;
    try {
        for (; added < 100000; ++added) table.Add("Text");
        table.Finish();
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), ErrorNumber::Cancelled);
    }
    EXPECT_LT(added, 1000) << "the filling ends within a few hundred texts";
}

}  // namespace
