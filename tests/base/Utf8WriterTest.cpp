#include "Utf8Writer.h"

#include <gtest/gtest.h>
#include <QString>

namespace {

QByteArray Written(const QString& text) {
    QByteArray out;
    WriteUtf8(text, out);
    return out;
}

QString Units(std::initializer_list<char16_t> units) {
    QString text;
    for (char16_t unit : units) text.append(QChar(unit));
    return text;
}

TEST(Utf8Writer, WritesEveryUtf16UnitAsToUtf8Does) {
    // Alone and between other characters: ASCII, two- and three-byte forms, and
    // surrogates without their partner, which become "?".
    for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
        const QString alone = Units({static_cast<char16_t>(unit)});
        ASSERT_EQ(Written(alone), alone.toUtf8())
            << "U+" << std::hex << static_cast<uint32_t>(unit);
        const QString between = Units({u'a', static_cast<char16_t>(unit), u'\u0416'});
        ASSERT_EQ(Written(between), between.toUtf8())
            << "U+" << std::hex << static_cast<uint32_t>(unit);
    }
}

TEST(Utf8Writer, WritesSurrogatePairsAsOneCharacterAndLoneHalvesAsQuestionMarks) {
    for (char16_t high = 0xD800; high <= 0xDBFF; high += 0x3F)
        for (char16_t low = 0xDC00; low <= 0xDFFF; low += 0x3F) {
            const QString pair = Units({high, low});
            ASSERT_EQ(Written(pair), pair.toUtf8());
            ASSERT_EQ(Written(pair).size(), 4);
        }
    for (const QString& text :
         {Units({0xDC00, 0xD800}), Units({0xD800, 0xD800, 0xDC00}), Units({u'x', 0xD83D}),
          Units({0xDE00, u'x'}), Units({0xD83D, 0xDE00, 0xDE00}), QStringLiteral("€😀Ж")})
        EXPECT_EQ(Written(text), text.toUtf8());
    EXPECT_EQ(Written(Units({0xD83D, u'a'})), QByteArray("?a"));
    EXPECT_TRUE(Written(QString()).isEmpty());
}

TEST(Utf8Writer, OneBufferServesLongAndShortTexts) {
    QByteArray buffer;
    WriteUtf8(QString(1000, QChar(u'\u0416')), buffer);
    ASSERT_EQ(buffer.size(), 2000);
    const char* memory = buffer.constData();
    WriteUtf8(QStringLiteral("Текст"), buffer);
    EXPECT_EQ(buffer, QStringLiteral("Текст").toUtf8());  // nothing of the longer text is left
    EXPECT_EQ(buffer.constData(), memory);                // and no new allocation
    WriteUtf8(QString(), buffer);
    EXPECT_TRUE(buffer.isEmpty());
}

}  // namespace
