#include "Variant.h"

#include <gtest/gtest.h>

namespace {

QByteArray Utf8(const char16_t* text) { return QString::fromUtf16(text).toUtf8(); }

// A text in UTF-8 is the same text as its QString, in every way the import asks.
TEST(Variant, ATextInUtf8IsTheTextItHolds) {
    struct Case {
        const char* what;
        const char16_t* text;
        qsizetype units;
    };
    const Case cases[] = {
        {"empty", u"", 0},
        {"ASCII", u"Text 42", 7},
        {"two-byte characters", u"Größe Текст", 11},
        {"a three-byte character", u"€", 1},
        {"characters beyond 16 bits take two units", u"a😀b😀", 6},
    };
    for (const auto& [what, text, units] : cases) {
        SCOPED_TRACE(what);
        const QString expected = QString::fromUtf16(text);
        const Variant utf8 = Variant::Utf8(Utf8(text));
        EXPECT_TRUE(utf8.IsText());
        EXPECT_EQ(utf8.Text(), expected);
        EXPECT_EQ(utf8.ToText(), expected);
        EXPECT_EQ(utf8.TextSize(), units);
        EXPECT_EQ(Variant(expected).TextSize(), units);
        EXPECT_EQ(utf8, Variant(expected));
        EXPECT_EQ(Variant(expected), utf8);
        QByteArray scratch;
        EXPECT_EQ(utf8.ToUtf8(scratch), Utf8(text));
        EXPECT_EQ(Variant(expected).ToUtf8(scratch), Utf8(text));
    }
    EXPECT_FALSE(Variant::Utf8("12") == Variant(12.0)) << "a text is no number";
    EXPECT_FALSE(Variant::Utf8("a") == Variant(QStringLiteral("b")));
    EXPECT_EQ(Variant::Utf8(" 12abc").ToNumber(), 12.0) << "Val() of the text";
}

}  // namespace
