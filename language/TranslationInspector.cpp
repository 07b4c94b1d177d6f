#include "TranslationInspector.h"

#include "TranslationChecks.h"

#include <sqlite3.h>

#include <algorithm>
#include <utility>

namespace {

// A batch is handed over at this many pairs or bytes: large enough that handing
// over costs nothing beside the checks, small enough to keep the memory small.
constexpr size_t kBatchPairs = 2048;
constexpr size_t kBatchBytes = 256 * 1024;

// A text in code-page form as its real characters, in buffer; texts that are
// ASCII, or stored as they are, stay as they are.
std::string_view RealCharacters(LanguageRecoding& recoding, std::string_view text,
                                QByteArray& buffer) {
    if (recoding.StoresAsIs() ||
        std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; }))
        return text;
    const QString stored = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    buffer = recoding.Restore(stored).value_or(stored).toUtf8();
    return {buffer.constData(), static_cast<size_t>(buffer.size())};
}

}  // namespace

TranslationInspector::TranslationInspector(int32_t lcid, int32_t reference, bool realCharacters,
                                           SpillList<CheckFinding>& findings)
    : reference_(reference),
      language_(realCharacters ? 0 : lcid),
      greek_((lcid & 0x3FF) == 0x08),
      // Where both are stored character by character the checks see the same in
      // the stored form, so only the texts of a finding are turned back into
      // their real characters.
      storedFormWillDo_(reference_.StoresCharacterByCharacter() &&
                        language_.StoresCharacterByCharacter()),
      findings_(findings) {}

TranslationInspector::~TranslationInspector() = default;

void TranslationInspector::operator()(double key, int64_t row, sqlite3_value* stored,
                                      const char* text, int size) {
    if (!stored || sqlite3_value_type(stored) == SQLITE_NULL) return;
    const auto* reference = reinterpret_cast<const char*>(sqlite3_value_text(stored));
    const auto referenceSize = static_cast<size_t>(sqlite3_value_bytes(stored));
    if (referenceSize == 0) return;
    const auto translationSize = text ? static_cast<size_t>(size) : 0;
    std::string& bytes = batch_.bytes;
    const size_t at = bytes.size();
    bytes.append(reference, referenceSize);
    if (translationSize > 0) bytes.append(text, translationSize);
    batch_.pairs.push_back({key, row, at, referenceSize, at + referenceSize, translationSize});
    if (batch_.pairs.size() >= kBatchPairs || bytes.size() >= kBatchBytes) Hand();
}

void TranslationInspector::Hand() {
    if (batch_.pairs.empty()) return;
    worker_.Post([this, batch = std::exchange(batch_, spare_.Take())]() mutable {
        Check(batch);
        batch.bytes.clear();
        batch.pairs.clear();
        spare_.Give(std::move(batch));
    });
}

void TranslationInspector::Finish() {
    Hand();
    worker_.Wait();
}

void TranslationInspector::Restart() {
    batch_.bytes.clear();
    batch_.pairs.clear();
    worker_.Discard();
}

void TranslationInspector::Check(const Batch& batch) {
    for (const Pair& pair : batch.pairs)
        Check(pair.key, pair.row,
              std::string_view(batch.bytes).substr(pair.reference, pair.referenceSize),
              std::string_view(batch.bytes).substr(pair.translation, pair.translationSize));
}

void TranslationInspector::Check(double key, int64_t row, std::string_view reference,
                                 std::string_view translation) {
    if (!storedFormWillDo_) {
        reference = RealCharacters(reference_, reference, referenceText_);
        translation = RealCharacters(language_, translation, translationText_);
    }
    const auto failed = TranslationChecks::Compare(reference, translation, greek_);
    if (failed.empty()) return;
    if (storedFormWillDo_) {
        reference = RealCharacters(reference_, reference, referenceText_);
        translation = RealCharacters(language_, translation, translationText_);
    }
    for (const auto check : failed)
        findings_.push_back({row, key, check,
                             QString::fromUtf8(reference.data(), qsizetype(reference.size())),
                             QString::fromUtf8(translation.data(), qsizetype(translation.size()))});
}
