#include "CheckFindings.h"

#include "ImportReport.h"
#include "Variant.h"

#include <optional>
#include <set>

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

// The findings of one severity under the heading: at most limit, then how many more.
void Section(const SpillList<CheckFinding>& findings, bool errors, const QString& heading,
             size_t limit, QStringList& out) {
    size_t count = 0;
    QStringList lines;
    for (const CheckFinding& f : findings) {
        if (f.IsError() != errors) continue;
        if (count++ >= limit) continue;
        const QString place =
            f.row > 0 ? QStringLiteral("Zeile %1, ").arg(GermanNumber(f.row)) : QString();
        lines << QStringLiteral("  %1ID %2: %3 \u2013 Referenz %4, Text %5")
                     .arg(place, ShortestDecimal(f.id), TranslationChecks::GermanName(f.check),
                          Quoted(OneLine(f.reference)), Quoted(OneLine(f.text)));
    }
    if (count == 0) return;
    out << QStringLiteral("%1 (%2):").arg(heading, GermanNumber(static_cast<int64_t>(count)));
    out << lines;
    if (count > limit)
        out << QStringLiteral("  und %1 weitere")
                   .arg(GermanNumber(static_cast<int64_t>(count - limit)));
    out << QString();
}

}  // namespace

void SpillOut(SpillWriter& out, const CheckFinding& finding) {
    out.Int(finding.row);
    out.Real(finding.id);
    out.Int(static_cast<int64_t>(finding.check));
    out.Text(finding.reference);
    out.Text(finding.text);
}

void SpillIn(SpillReader& in, CheckFinding& finding) {
    finding.row = in.Int();
    finding.id = in.Real();
    finding.check = static_cast<TranslationChecks::Check>(in.Int());
    finding.reference = in.Text();
    finding.text = in.Text();
}

namespace CheckFindings {

bool HasErrors(const SpillList<CheckFinding>& findings) {
    for (const CheckFinding& finding : findings)
        if (finding.IsError()) return true;
    return false;
}

QString Summary(const SpillList<CheckFinding>& findings) {
    // The findings of a text stand together: a text with errors is counted once.
    int64_t texts = 0;
    std::optional<double> lastText;
    std::set<TranslationChecks::Check> failed;
    int64_t warnings = 0;
    for (const CheckFinding& finding : findings) {
        if (!finding.IsError()) {
            ++warnings;
            continue;
        }
        if (lastText != finding.id) ++texts;
        lastText = finding.id;
        failed.insert(finding.check);
    }
    QStringList parts;
    if (texts > 0) {
        QStringList names;
        for (const auto check : failed) names << TranslationChecks::GermanName(check);
        parts << QStringLiteral("%1 mit Fehlern (%2)")
                     .arg(TextCount(texts), names.join(QStringLiteral(", ")));
    }
    if (warnings > 0)
        parts << GermanNumber(warnings) +
                     (warnings == 1 ? QStringLiteral(" Hinweis") : QStringLiteral(" Hinweise"));
    return parts.join(QStringLiteral(", "));
}

void Details(const SpillList<CheckFinding>& findings, const QString& heading, size_t limit,
             QStringList& out) {
    Section(findings, true, heading + QStringLiteral(": Fehler"), limit, out);
    Section(findings, false, heading + QStringLiteral(": Hinweise"), limit, out);
}

}  // namespace CheckFindings
