#include "ReportJson.h"

#include "MLanguageTransfer.h"
#include "Variant.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace ReportJson {
namespace {

QJsonObject Row(const UpdateTally::SourceId& row) {
    return {{QStringLiteral("row"), static_cast<qint64>(row.row)}, {QStringLiteral("id"), row.id}};
}

QJsonObject NoNumberEntry(const UpdateTally::NoNumber& row) {
    QJsonObject entry = Row(row.source);
    entry.insert(QStringLiteral("applied"), row.applied);
    return entry;
}

QJsonObject CheckEntry(const CheckFinding& finding) {
    QJsonObject entry{
        {QStringLiteral("id"), ShortestDecimal(finding.id)},
        {QStringLiteral("check"), QString::fromLatin1(TranslationChecks::Name(finding.check))},
        {QStringLiteral("severity"),
         finding.IsError() ? QStringLiteral("error") : QStringLiteral("warning")},
        {QStringLiteral("reference"), finding.reference},
        {QStringLiteral("text"), finding.text}};
    if (finding.row > 0) entry.insert(QStringLiteral("row"), static_cast<qint64>(finding.row));
    return entry;
}

QJsonObject LossyEntry(const LossyText& text) {
    QJsonArray characters;
    for (const auto& c : text.characters)
        characters.append(
            QJsonObject{{QStringLiteral("character"), QString::fromUcs4(&c.character, 1)},
                        {QStringLiteral("codePoint"), CodePointName(c.character)},
                        {QStringLiteral("replacement"), c.replacement},
                        {QStringLiteral("bestFit"), c.bestFit}});
    return {{QStringLiteral("id"), ShortestDecimal(text.id)},
            {QStringLiteral("row"), static_cast<qint64>(text.row)},
            {QStringLiteral("characters"), characters}};
}

// Stands for a streamed list in an object until Print writes it.
QString Placeholder(const char* list) {
    return QStringLiteral("\u0001") + QLatin1String(list) + QStringLiteral("\u0001");
}

// Writes the entries of a list as a JSON array.
template <typename List, typename Entry>
void PrintArray(const List& list, Entry entry, std::FILE* out) {
    std::fputs("[", out);
    bool first = true;
    for (const auto& item : list) {
        std::fputs(first ? "\n" : ",\n", out);
        first = false;
        std::fputs(QJsonDocument(entry(item)).toJson(QJsonDocument::Compact).constData(), out);
    }
    std::fputs(first ? "]" : "\n]", out);
}

// Writes the repeated IDs as a JSON array, the rows of each one by one: one ID
// may have as many rows as the source.
void PrintDuplicates(const SpillList<UpdateTally::Duplicate>& duplicates, std::FILE* out) {
    std::fputs("[", out);
    bool first = true;
    for (const auto& duplicate : duplicates) {
        std::fputs(first ? "\n" : ",\n", out);
        first = false;
        const QByteArray key = QJsonDocument(QJsonArray{ShortestDecimal(duplicate.key)})
                                   .toJson(QJsonDocument::Compact)
                                   .mid(1)
                                   .chopped(1);
        std::fprintf(out, "{\"key\":%s,\"rows\":", key.constData());
        PrintArray(duplicate.rows, Row, out);
        std::fprintf(out, ",\"winner\":%lld}", static_cast<long long>(duplicate.Winner().row));
    }
    std::fputs(first ? "]" : "\n]", out);
}

// The reference's column, or null when there was none.
QJsonValue Reference(const std::optional<int32_t>& reference) {
    return reference ? QJsonValue(MLanguageTransfer::LanguageColumn(*reference)) : QJsonValue();
}

void CountChecks(const SpillList<CheckFinding>& findings, QJsonObject& counts) {
    qint64 errors = 0;
    for (const CheckFinding& finding : findings) errors += finding.IsError();
    counts.insert(QStringLiteral("checkErrors"), errors);
    counts.insert(QStringLiteral("checkWarnings"), static_cast<qint64>(findings.size()) - errors);
}

QJsonObject Counts(const ImportReport& report) {
    const UpdateTally& rows = report.rows;
    QJsonObject counts{
        {QStringLiteral("sourceRows"), static_cast<qint64>(rows.sourceRows)},
        {QStringLiteral("nullKeys"), static_cast<qint64>(rows.nullKeys)},
        {QStringLiteral("matched"), static_cast<qint64>(rows.matched)},
        {QStringLiteral("changed"), static_cast<qint64>(rows.changed)},
        {QStringLiteral("unchanged"), static_cast<qint64>(rows.unchanged)},
        {QStringLiteral("setToNull"), static_cast<qint64>(rows.setToNull)},
        {QStringLiteral("unmatched"), static_cast<qint64>(rows.unmatched.size())},
        {QStringLiteral("noNumber"), static_cast<qint64>(rows.noNumber.size())},
        {QStringLiteral("duplicates"), static_cast<qint64>(rows.duplicates.size())},
        {QStringLiteral("lossy"), static_cast<qint64>(report.lossy.size())},
        {QStringLiteral("invalidBytes"), static_cast<qint64>(rows.reading.invalidBytes.size())},
        {QStringLiteral("untranslated"), static_cast<qint64>(rows.reading.untranslated.size())},
        {QStringLiteral("withCodes"), static_cast<qint64>(rows.reading.withCodes.size())}};
    CountChecks(report.checks, counts);
    return counts;
}

QJsonArray InvalidBytes(const std::vector<InvalidByte>& bytes) {
    QJsonArray list;
    for (const auto& invalid : bytes)
        list.append(QJsonObject{{QStringLiteral("line"), static_cast<qint64>(invalid.line)},
                                {QStringLiteral("byte"), ByteName(invalid.byte)},
                                {QStringLiteral("readAs"), invalid.readAs}});
    return list;
}

QJsonArray Units(const std::vector<SkippedUnit>& skipped) {
    QJsonArray list;
    for (const auto& unit : skipped) list.append(Row({unit.row, unit.id}));
    return list;
}

}  // namespace

QJsonObject FromLint(const TranslationLint::Result& result) {
    QJsonObject counts{{QStringLiteral("texts"), static_cast<qint64>(result.texts)}};
    CountChecks(result.findings, counts);
    return {{QStringLiteral("reference"), Reference(result.reference)},
            {QStringLiteral("counts"), counts},
            {QStringLiteral("checks"), Placeholder("checks")}};
}

QJsonObject FromReport(const ImportReport& report) {
    const UpdateTally& rows = report.rows;
    QJsonObject out{{QStringLiteral("written"), report.written},
                    {QStringLiteral("counts"), Counts(report)},
                    {QStringLiteral("unmatched"), Placeholder("unmatched")},
                    {QStringLiteral("noNumber"), Placeholder("noNumber")},
                    {QStringLiteral("duplicates"), Placeholder("duplicates")},
                    {QStringLiteral("lossy"), Placeholder("lossy")},
                    {QStringLiteral("invalidBytes"), InvalidBytes(rows.reading.invalidBytes)},
                    {QStringLiteral("untranslated"), Units(rows.reading.untranslated)},
                    {QStringLiteral("withCodes"), Units(rows.reading.withCodes)},
                    {QStringLiteral("reference"), Reference(report.reference)},
                    {QStringLiteral("checks"), Placeholder("checks")},
                    {QStringLiteral("summary"), report.Summary()}};
    if (!rows.reading.encoding.isEmpty())
        out.insert(QStringLiteral("encoding"), rows.reading.encoding);
    return out;
}

void Print(const QJsonObject& object, const Streamed& lists, std::FILE* out) {
    QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Indented);
    // Each streamed list given: its name in the document and how it is written.
    using Printer = std::function<void()>;
    std::vector<std::pair<const char*, Printer>> given;
    auto add = [&](const char* name, const auto* list, Printer print) {
        if (list) given.emplace_back(name, std::move(print));
    };
    add("lossy", lists.lossy, [&] { PrintArray(*lists.lossy, LossyEntry, out); });
    add("checks", lists.checks, [&] { PrintArray(*lists.checks, CheckEntry, out); });
    add("unmatched", lists.unmatched, [&] { PrintArray(*lists.unmatched, Row, out); });
    add("noNumber", lists.noNumber, [&] { PrintArray(*lists.noNumber, NoNumberEntry, out); });
    add("duplicates", lists.duplicates, [&] { PrintDuplicates(*lists.duplicates, out); });
    struct Place {
        qsizetype at;
        qsizetype size;
        const Printer* print;
    };
    std::vector<Place> places;
    for (const auto& [name, print] : given) {
        // The placeholder as the document writes it: quoted, its controls escaped.
        const QByteArray marker = "\"\\u0001" + QByteArray(name) + "\\u0001\"";
        if (const qsizetype at = text.indexOf(marker); at >= 0)
            places.push_back({at, marker.size(), &print});
    }
    std::sort(places.begin(), places.end(),
              [](const Place& a, const Place& b) { return a.at < b.at; });
    qsizetype from = 0;
    for (const Place& place : places) {
        std::fwrite(text.constData() + from, 1, static_cast<size_t>(place.at - from), out);
        (*place.print)();
        from = place.at + place.size;
    }
    std::fwrite(text.constData() + from, 1, static_cast<size_t>(text.size() - from), out);
}

QJsonObject FromEntry(const UndoStore::Entry& entry) {
    return {{QStringLiteral("time"), entry.time},
            {QStringLiteral("language"), entry.column},
            {QStringLiteral("source"), entry.source},
            {QStringLiteral("rows"), static_cast<qint64>(entry.rows)},
            {QStringLiteral("undone"), entry.undone},
            {QStringLiteral("bytes"), static_cast<qint64>(entry.bytes)},
            {QStringLiteral("dropped"), entry.dropped}};
}

QJsonObject FromUndo(const UndoStore::UndoResult& result) {
    QJsonArray conflicts;
    for (const auto& conflict : result.conflicts)
        conflicts.append(QJsonObject{{QStringLiteral("id"), ShortestDecimal(conflict.id)},
                                     {QStringLiteral("written"), conflict.written},
                                     {QStringLiteral("current"), conflict.current},
                                     {QStringLiteral("gone"), conflict.gone}});
    QJsonObject out{{QStringLiteral("reverted"), static_cast<qint64>(result.reverted)},
                    {QStringLiteral("conflicts"), conflicts}};
    if (result.found) out.insert(QStringLiteral("import"), FromEntry(result.entry));
    return out;
}

}  // namespace ReportJson
