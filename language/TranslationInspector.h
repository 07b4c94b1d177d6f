#pragma once

#include "CheckFindings.h"
#include "LanguageRecoding.h"
#include "SparePool.h"
#include "WorkerThread.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3_value;

// Checks each imported text against the project's reference text of its ID (see
// TranslationChecks), both in their real characters, and lists what they fail.
// The update hands each pair over as it reads it; they are checked in batches on
// a thread beside the update, in the update's order, so that the checks cost the
// update no time of its own.
class TranslationInspector {
  public:
    // The texts of lcid as the source holds them: in real characters, or (for
    // another project's) in the code-page form as the project stores them.
    TranslationInspector(int32_t lcid, int32_t reference, bool realCharacters,
                         SpillList<CheckFinding>& findings);
    ~TranslationInspector();
    TranslationInspector(const TranslationInspector&) = delete;
    TranslationInspector& operator=(const TranslationInspector&) = delete;

    // The text of a source row and the project's reference text (as stored; Null
    // and empty ones are not checked).
    void operator()(double key, int64_t row, sqlite3_value* stored, const char* text, int size);
    // Checks what is still handed over; findings holds every finding after it.
    // Rethrows what failed in a check.
    void Finish();
    // Forgets what was handed over and not checked yet: the update begins again.
    void Restart();

  private:
    struct Pair {
        double key;
        int64_t row;
        size_t reference, referenceSize, translation, translationSize;  // in the batch's bytes
    };
    struct Batch {
        std::string bytes;
        std::vector<Pair> pairs;
    };

    void Hand();
    void Check(const Batch& batch);
    void Check(double key, int64_t row, std::string_view reference, std::string_view translation);

    LanguageRecoding reference_;
    LanguageRecoding language_;  // for texts of another project, stored in code-page form
    bool greek_;
    bool storedFormWillDo_;
    SpillList<CheckFinding>& findings_;
    QByteArray referenceText_, translationText_;
    Batch batch_;             // filled by the update
    SparePool<Batch> spare_;  // checked batches, kept for their memory
    WorkerThread worker_;     // last: it stops before what it uses goes
};
