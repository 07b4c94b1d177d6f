#include "CheckFindings.h"

#include "ImportReport.h"
#include "Variant.h"

#include <set>

namespace CheckFindings {
namespace {

QString Quoted(const QString& text) {
    return QStringLiteral("\u201E") + text + QStringLiteral("\u201C");
}

// A text as one line: line breaks and tabs shown as "\n" and "\t".
QString OneLine(const QString& text) {
    QString line = text;
    return line.replace(QLatin1Char('\r'), QStringLiteral("\\r"))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"))
        .replace(QLatin1Char('\t'), QStringLiteral("\\t"));
}

void Section(const std::vector<const CheckFinding*>& list, const QString& heading, size_t limit,
             QStringList& out) {
    if (list.empty()) return;
    out << QStringLiteral("%1 (%2):").arg(heading, GermanNumber(static_cast<int64_t>(list.size())));
    for (size_t i = 0; i < list.size() && i < limit; ++i) {
        const CheckFinding& f = *list[i];
        const QString place =
            f.row > 0 ? QStringLiteral("Zeile %1, ").arg(GermanNumber(f.row)) : QString();
        out << QStringLiteral("  %1ID %2: %3 \u2013 Referenz %4, Text %5")
                   .arg(place, ShortestDecimal(f.id), TranslationChecks::GermanName(f.check),
                        Quoted(OneLine(f.reference)), Quoted(OneLine(f.text)));
    }
    if (list.size() > limit)
        out << QStringLiteral("  und %1 weitere")
                   .arg(GermanNumber(static_cast<int64_t>(list.size() - limit)));
    out << QString();
}

}  // namespace

bool HasErrors(const std::vector<CheckFinding>& findings) {
    for (const CheckFinding& finding : findings)
        if (finding.IsError()) return true;
    return false;
}

QString Summary(const std::vector<CheckFinding>& findings) {
    std::set<double> texts;
    std::set<TranslationChecks::Check> failed;
    int64_t warnings = 0;
    for (const CheckFinding& finding : findings) {
        if (!finding.IsError()) {
            ++warnings;
            continue;
        }
        texts.insert(finding.id);
        failed.insert(finding.check);
    }
    QStringList parts;
    if (!texts.empty()) {
        QStringList names;
        for (const auto check : failed) names << TranslationChecks::GermanName(check);
        parts << QStringLiteral("%1 mit Fehlern (%2)")
                     .arg(texts.size() == 1 ? QStringLiteral("1 Text")
                                            : GermanNumber(static_cast<int64_t>(texts.size())) +
                                                  QStringLiteral(" Texte"),
                          names.join(QStringLiteral(", ")));
    }
    if (warnings > 0)
        parts << GermanNumber(warnings) +
                     (warnings == 1 ? QStringLiteral(" Hinweis") : QStringLiteral(" Hinweise"));
    return parts.join(QStringLiteral(", "));
}

void Details(const std::vector<CheckFinding>& findings, const QString& heading, size_t limit,
             QStringList& out) {
    std::vector<const CheckFinding*> errors, warnings;
    for (const CheckFinding& finding : findings)
        (finding.IsError() ? errors : warnings).push_back(&finding);
    Section(errors, heading + QStringLiteral(": Fehler"), limit, out);
    Section(warnings, heading + QStringLiteral(": Hinweise"), limit, out);
}

}  // namespace CheckFindings
