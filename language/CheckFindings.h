#pragma once

#include "SpillList.h"
#include "TranslationChecks.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// A check a translation failed against its reference (see TranslationChecks):
// the text's ID, its place in the source (0 for texts of the project), the
// check, and both texts in their real characters.
struct CheckFinding {
    int64_t row = 0;
    double id = 0;
    TranslationChecks::Check check = TranslationChecks::Check::Placeholders;
    QString reference;
    QString text;

    bool IsError() const {
        return TranslationChecks::SeverityOf(check) == TranslationChecks::Severity::Error;
    }
};

// How a finding is kept in a report list beyond its batch in memory.
void SpillOut(SpillWriter& out, const CheckFinding& finding);
void SpillIn(SpillReader& in, CheckFinding& finding);

// What the reports say of the findings.
namespace CheckFindings {

bool HasErrors(const SpillList<CheckFinding>& findings);
// "2 Texte mit Fehlern (Platzhalter, Zugriffstasten), 5 Hinweise": the texts with
// errors and the checks they failed, the warnings; empty for no findings.
QString Summary(const SpillList<CheckFinding>& findings);
// The findings itemized under the heading, errors before warnings, at most limit
// of each, then how many more.
void Details(const SpillList<CheckFinding>& findings, const QString& heading, size_t limit,
             QStringList& out);

}  // namespace CheckFindings
