#pragma once

#include "CheckFindings.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The checks of an import (see TranslationChecks) over the texts a project
// already holds: for pipelines that guard a project.
namespace TranslationLint {

struct Result {
    std::optional<int32_t> reference;  // none: the project has no reference language
    int64_t texts = 0;                 // the texts of the language looked at
    SpillList<CheckFinding> findings;
};

// Checks every text of the language against the text of the same ID in the
// reference language (chosen as MLanguageTransfer::ReferenceLanguage chooses),
// both turned back from their code-page form into their real characters. The
// project is only read. Fails with a RuntimeError.
Result Lint(const QString& projectFile, int32_t lcid, std::optional<int32_t> reference = {});

}  // namespace TranslationLint
