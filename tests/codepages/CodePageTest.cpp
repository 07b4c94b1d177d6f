#include "CodePage.h"
#include "CodePageConverter.h"
#include "RuntimeError.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <unicode/uloc.h>
#include <cstdlib>

namespace {

struct LcidPage {
    int32_t lcid;
    int codePage;
};

void PrintTo(const LcidPage& c, std::ostream* out) {
    *out << "LCID " << c.lcid << " -> " << c.codePage;
}

class DefaultAnsiCodePage : public testing::TestWithParam<LcidPage> {};

TEST_P(DefaultAnsiCodePage, IsTheOneWindowsReports) {
    EXPECT_EQ(CodePage::DefaultAnsiCodePage(GetParam().lcid), GetParam().codePage)
        << GetParam().lcid;
}

INSTANTIATE_TEST_SUITE_P(
    Languages, DefaultAnsiCodePage,
    testing::Values(
        LcidPage{1031, 1252}, LcidPage{1033, 1252}, LcidPage{1036, 1252}, LcidPage{1045, 1250},
        LcidPage{1029, 1250}, LcidPage{2074, 1250}, LcidPage{5146, 1250}, LcidPage{1049, 1251},
        LcidPage{1058, 1251}, LcidPage{3098, 1251}, LcidPage{8218, 1251}, LcidPage{2092, 1251},
        LcidPage{1032, 1253}, LcidPage{1055, 1254}, LcidPage{1068, 1254}, LcidPage{1091, 1254},
        LcidPage{1037, 1255}, LcidPage{1025, 1256}, LcidPage{1065, 1256}, LcidPage{1061, 1257},
        LcidPage{1066, 1258}, LcidPage{1054, 874}, LcidPage{1041, 932}, LcidPage{2052, 936},
        LcidPage{4100, 936}, LcidPage{1042, 949}, LcidPage{1028, 950}, LcidPage{3076, 950},
        LcidPage{5124, 950}, LcidPage{1081, 0}, LcidPage{1079, 0}, LcidPage{1067, 0},
        // no locale data
        LcidPage{0, 0}, LcidPage{4096, 0}, LcidPage{9999, 0}, LcidPage{-1, 0}));

TEST(CodePage, RussianOnAWesternSystemBecomesItsBytesAsLatinLetters) {
    const QByteArray bytes = CodePage::Encode(QStringLiteral("Да"), 1251);
    EXPECT_EQ(bytes, QByteArray("\xC4\xE0"));
    EXPECT_EQ(CodePage::Decode(bytes, 1252), QString::fromUtf16(u"\u00C4\u00E0"));
}

TEST(CodePage, CharactersTheCodePageLacksBecomeQuestionMarks) {
    EXPECT_EQ(CodePage::Encode(QStringLiteral("漢字 und Deutsch"), 1252),
              QByteArray("?? und Deutsch"));
    EXPECT_EQ(CodePage::Encode(QStringLiteral("Größe: 5 €"), 1252), QByteArray("Gr\xF6\xDF"
                                                                               "e: 5 \x80"));
}

TEST(CodePage, ConvertsAsWindowsDoesWithBestFit) {
    // WideCharToMultiByte with flags 0: a similar character where Windows knows
    // one, "?" for the rest; MultiByteToWideChar for the way back.
    CodePageConverter cyrillic(1251), western(1252);
    EXPECT_EQ(western.Encode(QStringLiteral("∞ Ā Ａ")), QByteArray("8 A A"));
    EXPECT_EQ(western.Encode(QStringLiteral("Größe Ж")), QByteArray("Gr\xF6\xDF"
                                                                    "e ?"));
    const QByteArray russian = cyrillic.Encode(QStringLiteral("Да"));
    EXPECT_EQ(russian, QByteArray("\xC4\xE0"));
    EXPECT_EQ(western.Decode(russian.constData(), 2), QStringLiteral("Äà"));
    EXPECT_EQ(cyrillic.Encode(QStringLiteral("Größe")), QByteArray("Gro?e"))
        << "ö fits as o, ß not";
    EXPECT_EQ(cyrillic.Encode(QStringLiteral("Ж😀Ж")), QByteArray("\xC6?\xC6"))
        << "one ? for a character beyond the BMP";
    EXPECT_EQ(cyrillic.Encode(QString(QChar(0xD800)) + QStringLiteral("x")), QByteArray("?x"))
        << "a lone surrogate is no character";
    EXPECT_EQ(western.Decode("\x81\xC4", 2), QString::fromUtf16(u"\u0081\u00C4"));
}

TEST(CodePage, BytesUndefinedInTheSystemCodePageKeepTheirValue) {
    EXPECT_EQ(CodePage::Decode(QByteArray("\x81\x8D"), 1252), QString::fromUtf16(u"\u0081\u008D"));
}

TEST(CodePage, JapaneseIsMultiByte) {
    EXPECT_EQ(CodePage::Encode(QStringLiteral("表示"), 932), QByteArray("\x95\x5C\x8E\xA6"));
    EXPECT_EQ(CodePage::Decode(QByteArray("\x95\x5C\x8E\xA6"), 932), QStringLiteral("表示"));
    EXPECT_EQ(
        CodePage::Encode(QStringLiteral("日本語のテキスト Ж"), 932),
        QByteArray("\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x65\x83\x4C\x83\x58\x83\x67 \x84\x47"));
    EXPECT_EQ(CodePage::Decode(QByteArray("A\x93"), 932), QString::fromUtf16(u"A\u30FB"))
        << "a lead byte at the end becomes the default character";
}

TEST(CodePage, UnknownCodePageFails) {
    EXPECT_FALSE(CodePage::IsSupported(12345));
    EXPECT_THROW(CodePage::Encode(QStringLiteral("x"), 12345), RuntimeError);
}

class SystemCodePage : public testing::Test {
  protected:
    void SetUp() override {
        CodePage::SetSystemAnsiCodePage(std::nullopt);
        for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (auto& [name, value] : saved_) {
            if (value)
                setenv(name, value->c_str(), 1);
            else
                unsetenv(name);
        }
    }
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(SystemCodePage, FollowsTheProcessLocale) {
    EXPECT_EQ(CodePage::SystemAnsiCodePage(), 1252) << "no locale set";
    setenv("LANG", "ru_RU.UTF-8", 1);
    EXPECT_EQ(CodePage::SystemAnsiCodePage(), 1251);
    setenv("LC_CTYPE", "ja_JP.UTF-8", 1);
    EXPECT_EQ(CodePage::SystemAnsiCodePage(), 932) << "LC_CTYPE before LANG";
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(CodePage::SystemAnsiCodePage(), 1252) << "LC_ALL first, C is 1252";
    setenv("LC_ALL", "POSIX", 1);
    EXPECT_EQ(CodePage::SystemAnsiCodePage(), 1252);
    setenv("LC_ALL", "de_DE@euro", 1);
    EXPECT_EQ(CodePage::SystemAnsiCodePage(), 1252);
    setenv("LC_ALL", "hi_IN.UTF-8", 1);
    EXPECT_EQ(CodePage::SystemAnsiCodePage(), 1252)
        << "Unicode-only locales keep a single-byte page";
    CodePage::SetSystemAnsiCodePage(1250);
    EXPECT_EQ(CodePage::SystemAnsiCodePage(), 1250) << "the test seam wins";
    CodePage::SetSystemAnsiCodePage(std::nullopt);
}

TEST(CodePage, LanguageNameFollowsTheInterfaceLanguage) {
    UErrorCode status = U_ZERO_ERROR;
    const std::string saved = uloc_getDefault();
    uloc_setDefault("de_DE", &status);
    EXPECT_EQ(CodePage::LanguageName(1031), QStringLiteral("Deutsch (Deutschland)"));
    EXPECT_EQ(CodePage::LanguageName(1049), QStringLiteral("Russisch (Russland)"));
    uloc_setDefault("en_US", &status);
    EXPECT_EQ(CodePage::LanguageName(1031), QStringLiteral("German (Germany)"));
    EXPECT_FALSE(CodePage::LanguageName(0).has_value());
    EXPECT_FALSE(CodePage::LanguageName(9999).has_value());
    uloc_setDefault(saved.c_str(), &status);
}

}  // namespace
