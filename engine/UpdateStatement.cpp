#include "UpdateStatement.h"

#include <QRegularExpression>

namespace {

bool Same(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

}  // namespace

std::optional<UpdateStatement> UpdateStatement::Parse(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral(
            R"(^\s*UPDATE\s*\[\s*SELECT\s+(\w+)\s*\.\s*(NAME)\s*,\s*(\w+)\s*\.\s*(NAME)\s+)"
            R"(FROM\s+(\w+)\s+INNER\s+JOIN\s+(\w+)\s+ON\s+(\w+)\s*\.\s*(NAME)\s*=\s*)"
            R"(Val\s*\(\s*(\w+)\s*\.\s*(NAME)\s*\)\s*\]\s*\.\s*AS\s+(\w+)\s+)"
            R"(SET\s+(\w+)\s*\.\s*(NAME)\s*=\s*(\w+)\s*\.\s*(NAME)\s*;?\s*$)")
            // Column names may hold a minus sign: the column of a negative LCID is "L-1".
            .replace(QStringLiteral("NAME"), QStringLiteral(R"(\w[\w-]*)")),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    auto match = pattern.match(text);
    if (!match.hasMatch()) return std::nullopt;
    auto g = [&](int i) { return match.captured(i); };

    UpdateStatement s;
    s.targetTable = g(5);
    s.sourceTable = g(6);
    s.targetKey = g(8);
    s.sourceKey = g(10);
    s.targetColumn = g(13);
    s.sourceColumn = g(15);
    // Every qualified name must name one of the two joined tables, the selected
    // columns must be the ones set, and the update must go from source to target.
    bool consistent = Same(g(1), s.targetTable) && Same(g(3), s.sourceTable) &&
                      Same(g(7), s.targetTable) && Same(g(9), s.sourceTable) &&
                      Same(g(12), s.targetTable) && Same(g(14), s.sourceTable) &&
                      Same(g(2), s.targetColumn) && Same(g(4), s.sourceColumn) &&
                      !Same(s.targetTable, s.sourceTable);
    if (!consistent) return std::nullopt;
    return s;
}
