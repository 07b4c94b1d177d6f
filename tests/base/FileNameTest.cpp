#include "FileName.h"

#include <gtest/gtest.h>

namespace {

TEST(FileNameTest, NamesAreCutToTheirBytesAtAWholeCharacter) {
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");  // 4 bytes, a surrogate pair
    const struct {
        const char* what;
        QString name;
        qsizetype bytes;
        QString shortened;
    } cases[] = {
        {"fits", QStringLiteral("Anlage"), 6, QStringLiteral("Anlage")},
        {"ASCII", QStringLiteral("Anlage"), 3, QStringLiteral("Anl")},
        {"two-byte character not split", QStringLiteral("aüb"), 2, QStringLiteral("a")},
        {"two-byte character whole", QStringLiteral("aüb"), 3, QStringLiteral("aü")},
        {"pair not split", QStringLiteral("a") + smile, 4, QStringLiteral("a")},
        {"pair whole", QStringLiteral("a") + smile + smile, 5, QStringLiteral("a") + smile},
        {"nothing left", smile, 3, QString()},
        {"empty", QString(), 10, QString()},
    };
    for (const auto& c : cases) {
        const QString shortened = FileName::Shortened(c.name, c.bytes);
        EXPECT_EQ(shortened, c.shortened) << c.what;
        EXPECT_LE(shortened.toUtf8().size(), c.bytes) << c.what;
        EXPECT_TRUE(shortened.isValidUtf16()) << c.what;
    }
}

}  // namespace
