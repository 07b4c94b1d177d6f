#include "CodePage.h"

#include "CodePageConverter.h"

#include <unicode/uloc.h>
#include <unicode/ustring.h>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

namespace CodePage {
namespace {

std::optional<int> g_systemOverride;

struct LanguagePage {
    const char* language;
    int codePage;
};

// Windows' default ANSI code pages by language; scripts and regions are decided in
// AnsiCodePageOfLocale before this table is asked.
constexpr LanguagePage kLanguagePages[] = {
    {"cs", 1250},
    {"pl", 1250},
    {"hu", 1250},
    {"sk", 1250},
    {"sl", 1250},
    {"hr", 1250},
    {"ro", 1250},
    {"sq", 1250},
    {"hsb", 1250},
    {"dsb", 1250},
    {"ru", 1251},
    {"uk", 1251},
    {"be", 1251},
    {"bg", 1251},
    {"mk", 1251},
    {"kk", 1251},
    {"ky", 1251},
    {"tt", 1251},
    {"mn", 1251},
    {"ba", 1251},
    {"sah", 1251},
    {"tg", 1251},
    {"el", 1253},
    {"tr", 1254},
    {"he", 1255},
    {"ar", 1256},
    {"fa", 1256},
    {"ur", 1256},
    {"ps", 1256},
    {"ug", 1256},
    {"et", 1257},
    {"lv", 1257},
    {"lt", 1257},
    {"vi", 1258},
    {"th", 874},
    {"ja", 932},
    {"ko", 949},
    // Unicode-only languages: no ANSI code page.
    {"hi", 0},
    {"ka", 0},
    {"hy", 0},
    {"bn", 0},
    {"pa", 0},
    {"gu", 0},
    {"or", 0},
    {"ta", 0},
    {"te", 0},
    {"kn", 0},
    {"ml", 0},
    {"as", 0},
    {"mr", 0},
    {"sa", 0},
    {"ne", 0},
    {"si", 0},
    {"km", 0},
    {"lo", 0},
    {"bo", 0},
    {"dv", 0},
    {"syr", 0},
    {"am", 0},
    {"iu", 0},
    {"kok", 0},
    {"brx", 0},
};

int AnsiCodePageOfLocale(const char* localeId) {
    char language[16] = {}, script[16] = {}, country[16] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLanguage(localeId, language, sizeof language, &status);
    uloc_getScript(localeId, script, sizeof script, &status);
    uloc_getCountry(localeId, country, sizeof country, &status);
    if (U_FAILURE(status)) return 0;
    std::string lang = language, scr = script, region = country;

    if (lang == "sr" || lang == "bs" || lang == "az" || lang == "uz") {
        if (scr.empty()) {
            char likely[64] = {};
            UErrorCode s2 = U_ZERO_ERROR;
            uloc_addLikelySubtags(localeId, likely, sizeof likely, &s2);
            uloc_getScript(likely, script, sizeof script, &s2);
            scr = U_SUCCESS(s2) ? script : "";
        }
        if (scr == "Cyrl") return 1251;
        if (lang == "az" || lang == "uz") return 1254;
        return 1250;
    }
    if (lang == "zh") {
        if (region == "TW" || region == "HK" || region == "MO" || scr == "Hant") return 950;
        return 936;
    }
    for (const auto& entry : kLanguagePages)
        if (lang == entry.language) return entry.codePage;
    return 1252;
}

}  // namespace

std::optional<QString> LocaleForLcid(int32_t lcid) {
    char buffer[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    int32_t length =
        uloc_getLocaleForLCID(static_cast<uint32_t>(lcid), buffer, sizeof buffer, &status);
    if (U_FAILURE(status) || length <= 0) return std::nullopt;
    if (std::strcmp(buffer, "root") == 0 || buffer[0] == '\0') return std::nullopt;
    return QString::fromLatin1(buffer);
}

std::optional<QString> LanguageTag(int32_t lcid) {
    auto locale = LocaleForLcid(lcid);
    if (!locale) return std::nullopt;
    char tag[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        uloc_toLanguageTag(locale->toLatin1().constData(), tag, sizeof tag, true, &status);
    if (U_FAILURE(status) || length <= 0) return std::nullopt;
    return QString::fromLatin1(tag, length);
}

QString PrimaryLanguage(const QString& tag) {
    return tag.section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0).trimmed().toLower();
}

QString PrimaryLanguage(int32_t lcid) {
    return PrimaryLanguage(LanguageTag(lcid).value_or(QString()));
}

int DefaultAnsiCodePage(int32_t lcid) {
    auto locale = LocaleForLcid(lcid);
    if (!locale) return 0;
    return AnsiCodePageOfLocale(locale->toLatin1().constData());
}

std::optional<QString> LanguageName(int32_t lcid) {
    auto locale = LocaleForLcid(lcid);
    if (!locale) return std::nullopt;
    UChar name[256];
    UErrorCode status = U_ZERO_ERROR;
    // The display language is ICU's default locale, which follows the process's
    // locale settings, as Windows names languages in the user's interface language.
    int32_t length =
        uloc_getDisplayName(locale->toLatin1().constData(), uloc_getDefault(), name, 256, &status);
    if (U_FAILURE(status) || length <= 0) return std::nullopt;
    return QString(reinterpret_cast<const QChar*>(name), std::min(length, 255));
}

int SystemAnsiCodePage() {
    if (g_systemOverride) return *g_systemOverride;
    const char* setting = nullptr;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            setting = value;
            break;
        }
    }
    if (!setting) return 1252;
    std::string locale = setting;
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale.empty() || locale == "C" || locale == "POSIX") return 1252;
    int codePage = AnsiCodePageOfLocale(locale.c_str());
    // Windows keeps a single-byte ANSI code page even for Unicode-only locales.
    return codePage == 0 ? 1252 : codePage;
}

void SetSystemAnsiCodePage(std::optional<int> codePage) { g_systemOverride = codePage; }

QByteArray Encode(const QString& text, int codePage) {
    return CodePageConverter(codePage).Encode(text);
}

QString Decode(const QByteArray& bytes, int codePage) {
    return CodePageConverter(codePage).Decode(bytes.constData(), static_cast<size_t>(bytes.size()));
}

bool IsSupported(int codePage) { return CodePageConverter::Exists(codePage); }

}  // namespace CodePage
