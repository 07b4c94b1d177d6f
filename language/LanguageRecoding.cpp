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
                                  SpillList<LossyText>& lossy) {
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
                               SpillList<LossyText>& lossy) {
    if (!language_ || utf8.isEmpty()) return;
    if (recoder_) {
        lost_.clear();
        const auto result =
            recoder_->Recode(utf8.constData(), static_cast<size_t>(utf8.size()), recoded_, &lost_);
        if (result != CodePageRecoder::Result::NotPlain) {
            if (result == CodePageRecoder::Result::Lost) {
                LossyText& text = lossy.emplace_back(LossyText{id, row, {}});
                text.characters.reserve(lost_.size());
                for (const char32_t character : lost_)
                    if (const auto& lost = LostCharacter(character))
                        text.characters.push_back(*lost);
            }
            utf8.swap(recoded_);
            return;
        }
    }
    // Text that is no well-formed UTF-8 is read as Qt reads it.
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
        const bool pair = QChar::isHighSurrogate(units[i]) && i + 1 < text.size() &&
                          QChar::isLowSurrogate(units[i + 1]);
        const char32_t code = pair ? QChar::surrogateToUcs4(units[i], units[i + 1]) : units[i];
        i += pair ? 2 : 1;
        if (const auto& character = LostCharacter(code)) lost.push_back(*character);
    }
    return lost;
}

const std::optional<LossyCharacter>& LanguageRecoding::LostCharacter(char32_t code) {
    auto [at, added] = lostAs_.try_emplace(code);
    if (!added) return at->second;
    const QChar units[] = {QChar(QChar::highSurrogate(code)), QChar(QChar::lowSurrogate(code))};
    const QString character =
        code > 0xFFFF ? QString(units, 2) : QString(QChar(static_cast<char16_t>(code)));
    const QByteArray bytes = language_->Encode(character);
    QString back = language_->Decode(bytes.constData(), static_cast<size_t>(bytes.size()));
    // "?" is the code page's default character: Windows knew no similar one.
    if (back != character) at->second = LossyCharacter{code, back, bytes != "?"};
    return at->second;
}
