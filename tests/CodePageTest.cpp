#include "CodePage.h"
#include "CodePageConverter.h"
#include "RuntimeError.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>
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

// What ICU itself gives for a whole text, without remembered answers.
QByteArray IcuEncode(const QString& text, const char* codePage) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(codePage, &status);
    ucnv_setSubstChars(converter, "?", 1, &status);
    ucnv_setFallback(converter, true);
    char out[256];
    const int32_t length =
        ucnv_fromUChars(converter, out, sizeof out, reinterpret_cast<const UChar*>(text.utf16()),
                        static_cast<int32_t>(text.size()), &status);
    ucnv_close(converter);
    return QByteArray(out, length);
}

QString IcuDecode(const QByteArray& bytes, const char* codePage) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(codePage, &status);
    UChar out[256];
    const int32_t length = ucnv_toUChars(converter, out, 256, bytes.constData(),
                                         static_cast<int32_t>(bytes.size()), &status);
    ucnv_close(converter);
    return QString(reinterpret_cast<const QChar*>(out), length);
}

TEST(CodePage, ManyTextsThroughOneConverterAsThroughIcuAlone) {
    // The remembered answers give what ICU gives for the whole text, text after text.
    CodePageConverter cyrillic(1251), western(1252);
    const QStringList texts = {QStringLiteral("Да"), QStringLiteral("Ёлка – 5 €"),
                               QStringLiteral("Ж😀Ж"), QString(QChar(0xD800)) + QStringLiteral("x"),
                               QStringLiteral("Größe")};
    for (const QString& text : texts) {
        const QByteArray bytes = cyrillic.Encode(text);
        EXPECT_EQ(bytes, IcuEncode(text, "windows-1251")) << text.toStdString();
        EXPECT_EQ(western.Decode(bytes.constData(), static_cast<size_t>(bytes.size())),
                  IcuDecode(bytes, "windows-1252"));
    }
    EXPECT_EQ(cyrillic.Encode(QStringLiteral("Ж😀Ж")), QByteArray("\xC6?\xC6"))
        << "one ? for a character beyond the BMP";
    EXPECT_EQ(western.Decode("\x81\xC4", 2), QString::fromUtf16(u"\u0081\u00C4"));
}

TEST(CodePage, BytesUndefinedInTheSystemCodePageKeepTheirValue) {
    EXPECT_EQ(CodePage::Decode(QByteArray("\x81\x8D"), 1252), QString::fromUtf16(u"\u0081\u008D"));
}

TEST(CodePage, JapaneseIsMultiByte) {
    EXPECT_EQ(CodePage::Encode(QStringLiteral("表示"), 932), QByteArray("\x95\x5C\x8E\xA6"));
    EXPECT_EQ(CodePage::Decode(QByteArray("\x95\x5C\x8E\xA6"), 932), QStringLiteral("表示"));
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
