#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// Locale and code-page services standing in for the Windows calls
// GetLocaleInfoA, WideCharToMultiByte, MultiByteToWideChar and GetACP: locales
// over ICU, the conversions from Windows' own tables (CodePageTable).
namespace CodePage {

// The ICU locale id of a Windows LCID ("de_DE" for 1031), or nothing when ICU has
// no locale for it (ICU answers "root" for 0 and some unknown LCIDs).
std::optional<QString> LocaleForLcid(int32_t lcid);

// The BCP 47 tag of an LCID ("de-DE" for 1031, "sr-Latn-RS" for 9242), or nothing
// when ICU has no locale for it.
std::optional<QString> LanguageTag(int32_t lcid);
// The primary language subtag of a BCP 47 tag or an LCID, lower case: "de".
QString PrimaryLanguage(const QString& tag);
QString PrimaryLanguage(int32_t lcid);

// The locale's default ANSI code page as Windows reports it (1252 for German,
// 1251 for Russian, 0 for Unicode-only locales such as Hindi). 0 when the LCID
// has no locale data.
int DefaultAnsiCodePage(int32_t lcid);

// The language name of an LCID in the user's interface language with " [lcid]"
// left to the caller; nothing when the LCID has no locale data.
std::optional<QString> LanguageName(int32_t lcid);

// The system's ANSI code page: the one of the process's locale (LC_ALL, LC_CTYPE,
// LANG), 1252 for C and POSIX. Tests set it through SetSystemAnsiCodePage.
int SystemAnsiCodePage();
void SetSystemAnsiCodePage(std::optional<int> codePage);

// The text as bytes of the code page, as Windows writes it: a character the code
// page lacks becomes a similar one where Windows knows one (∞ becomes "8" in
// 1252), else "?".
// Fails (RuntimeError) when the code page is unknown.
QByteArray Encode(const QString& text, int codePage);

// The bytes read as characters of the code page, as Windows reads them (in 1252
// the bytes without a letter, such as 0x81, become the character of that value).
QString Decode(const QByteArray& bytes, int codePage);

// True when ICU has a converter for the code page.
bool IsSupported(int codePage);

}  // namespace CodePage
