#include "Val.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>

namespace {

struct ValCase {
    const char16_t* text;
    double expected;
};

void PrintTo(const ValCase& c, std::ostream* out) {
    *out << '"' << QString::fromUtf16(c.text).toStdString() << "\" -> " << c.expected;
}

class ValForms : public testing::TestWithParam<ValCase> {};

TEST_P(ValForms, ReadsTheLeadingNumber) {
    EXPECT_DOUBLE_EQ(Val(QString::fromUtf16(GetParam().text)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    IdForms, ValForms,
    testing::Values(ValCase{u"12", 12}, ValCase{u"  12", 12}, ValCase{u"12abc", 12},
                    ValCase{u"abc", 0}, ValCase{u"", 0}, ValCase{u"1 2", 12}, ValCase{u"\t\n7", 7},
                    ValCase{u"12.0", 12}, ValCase{u"12.5", 12.5}, ValCase{u"1.2.3", 1.2},
                    ValCase{u".5", 0.5}, ValCase{u"-3.5", -3.5}, ValCase{u"- 3", -3},
                    ValCase{u"+5", 5}, ValCase{u"1E3", 1000}, ValCase{u"1e-2", 0.01},
                    ValCase{u"1D2", 100}, ValCase{u"2E", 2}, ValCase{u"5 Fenster", 5},
                    ValCase{u"keine Zahl", 0}, ValCase{u"&H1F", 31}, ValCase{u"&h1f", 31},
                    ValCase{u"&HFFFF", -1}, ValCase{u"&H10000", 65536}, ValCase{u"&HFFFFFFFF", -1},
                    ValCase{u"&O17", 15}, ValCase{u"&H", 0}, ValCase{u"&X1", 0}, ValCase{u"-", 0},
                    ValCase{u"\u00A012", 0}, ValCase{u"١٢", 0}));

TEST(Val, HugeExponentsDoNotThrow) {
    EXPECT_TRUE(std::isinf(Val(QStringLiteral("1E999"))));
    EXPECT_EQ(Val(QStringLiteral("1E-999")), 0.0);
    EXPECT_EQ(Val(QString(100000, QLatin1Char('9'))) > 1e300, true);
}

}  // namespace

// Plain digits are read without a text of their own, as Val() reads them; any
// other bytes are left to Val().
TEST(Val, PlainDigitsReadAsValReadsThem) {
    for (const char* digits : {"0", "7", "0012", "123456789012345", "000000000000000"}) {
        double value = -1;
        ASSERT_TRUE(ValOfPlainDigits(digits, static_cast<int>(strlen(digits)), value)) << digits;
        EXPECT_EQ(value, Val(QString::fromLatin1(digits))) << digits;
    }
    for (const char* other : {"", " 12", "12 ", "-1", "+1", "1.5", "1e3", "12a", "&H1F",
                              "1234567890123456", "\xD9\xA1"}) {
        double value = -1;
        EXPECT_FALSE(ValOfPlainDigits(other, static_cast<int>(strlen(other)), value)) << other;
        EXPECT_EQ(value, -1);
    }
}
