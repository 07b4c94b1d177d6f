#pragma once

#include "CodePageConverter.h"
#include "CodePageRecoder.h"
#include "ImportReport.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

// The conversion of imported texts to a language's code-page form: the text as
// the bytes of the language's default ANSI code page, read back as characters of
// the system's ANSI code page (what a program built for that code page shows).
// Texts the code page cannot hold as they are are listed, character by character.
class LanguageRecoding {
  public:
    // A language without a code page (0) converts nothing. Fails (RuntimeError)
    // when a code page has no converter.
    explicit LanguageRecoding(int32_t lcid);
    ~LanguageRecoding();

    bool ConvertsAnything() const { return language_ != nullptr; }
    // Whether the stored form of every text is the text itself: the language has
    // no code page, or the system's is its own.
    bool StoresAsIs() const { return !language_ || language_->Number() == system_->Number(); }
    // Whether the stored form keeps a text's ASCII characters where they stand and
    // every other character as one other than ASCII: the language's and the
    // system's code pages are single-byte ones (or it stores as is).
    bool StoresCharacterByCharacter() const { return singleByte_; }

    // The code-page form of the text; what it cannot hold is added to lossy.
    QString Convert(double id, int64_t row, const QString& text, SpillList<LossyText>& lossy);
    // The same for UTF-8 text, in place: the form the import stores.
    void Convert(double id, int64_t row, QByteArray& utf8, SpillList<LossyText>& lossy);

    // The inverse for export: the real characters of a text stored in the code-page
    // form (its bytes in the system's code page, read in the language's), or nothing
    // when Convert would not give the stored text back from them. A language
    // without a code page gives the text as it is.
    std::optional<QString> Restore(const QString& stored);

  private:
    std::vector<LossyCharacter> LostCharacters(const QString& text);
    // What the language's code page makes of a character, worked out once: none
    // when the character comes back as it is.
    const std::optional<LossyCharacter>& LostCharacter(char32_t code);

    std::unique_ptr<CodePageConverter> language_;
    std::unique_ptr<CodePageConverter> system_;
    std::unique_ptr<CodePageRecoder> recoder_;  // when the pair converts character by character
    QByteArray recoded_;
    std::vector<char32_t> lost_;  // the characters the last recoded text lost
    std::unordered_map<char32_t, std::optional<LossyCharacter>> lostAs_;
    bool singleByte_ = true;
};
