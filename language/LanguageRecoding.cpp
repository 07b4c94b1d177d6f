#include "LanguageRecoding.h"

#include "CodePage.h"
#include "CodePageTable.h"

LanguageRecoding::LanguageRecoding(int32_t lcid) {
    const int languagePage = CodePage::DefaultAnsiCodePage(lcid);
    if (languagePage == 0) return;
    language_ = std::make_unique<CodePageConverter>(languagePage);
    system_ = std::make_unique<CodePageConverter>(CodePage::SystemAnsiCodePage());
    recoder_ = CodePageRecoder::For(language_->Number(), system_->Number());
    auto singleByte = [](int codePage) {
        const CodePageTable* table = CodePageTable::Find(codePage);
        return table && !table->IsDoubleByte();
    };
    singleByte_ = StoresAsIs() || (singleByte(languagePage) && singleByte(system_->Number()));
}

LanguageRecoding::~LanguageRecoding() = default;

QString LanguageRecoding::Convert(double id, int64_t row, const QString& text,
                                  std::vector<LossyText>& lossy) {
    if (!language_ || text.isEmpty()) return text;
    const QByteArray bytes = language_->Encode(text);
    const auto size = static_cast<size_t>(bytes.size());
    QString converted = system_->Decode(bytes.constData(), size);
    // The bytes hold the text when they read back as it in the language's own page.
    const bool held = language_->Number() == system_->Number()
                          ? converted == text
                          : language_->Decode(bytes.constData(), size) == text;
    if (!held) lossy.push_back({id, row, LostCharacters(text)});
    return converted;
}

void LanguageRecoding::Convert(double id, int64_t row, QByteArray& utf8,
                               std::vector<LossyText>& lossy) {
    if (!language_ || utf8.isEmpty()) return;
    if (recoder_) {
        const auto result =
            recoder_->Recode(utf8.constData(), static_cast<size_t>(utf8.size()), recoded_);
        if (result == CodePageRecoder::Result::Held) {
            utf8.swap(recoded_);
            return;
        }
    }
    // Texts that lose characters are listed character by character, and text
    // that is no well-formed UTF-8 is read as Qt reads it.
    utf8 = Convert(id, row, QString::fromUtf8(utf8), lossy).toUtf8();
}

std::optional<QString> LanguageRecoding::Restore(const QString& stored) {
    if (!language_ || stored.isEmpty()) return stored;
    const QByteArray bytes = system_->Encode(stored);
    QString text = language_->Decode(bytes.constData(), static_cast<size_t>(bytes.size()));
    const QByteArray again = language_->Encode(text);
    if (system_->Decode(again.constData(), static_cast<size_t>(again.size())) != stored)
        return std::nullopt;
    return text;
}

std::vector<LossyCharacter> LanguageRecoding::LostCharacters(const QString& text) {
    std::vector<LossyCharacter> lost;
    const auto units = reinterpret_cast<const char16_t*>(text.utf16());
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = QChar::isHighSurrogate(units[i]) && i + 1 < text.size() &&
                                         QChar::isLowSurrogate(units[i + 1])
                                     ? 2
                                     : 1;
        const QString character = text.mid(i, length);
        i += length;
        const QByteArray bytes = language_->Encode(character);
        const QString back =
            language_->Decode(bytes.constData(), static_cast<size_t>(bytes.size()));
        if (back == character) continue;
        const char32_t code = length == 2 ? QChar::surrogateToUcs4(character[0], character[1])
                                          : character[0].unicode();
        // "?" is the code page's default character: Windows knew no similar one.
        lost.push_back({code, back, bytes != "?"});
    }
    return lost;
}
