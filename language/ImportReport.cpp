#include "ImportReport.h"

#include "Variant.h"

#include <QLocale>
#include <QStringList>

QString GermanNumber(int64_t n) {
    static const QLocale german(QLocale::German, QLocale::Germany);
    return german.toString(static_cast<qlonglong>(n));
}

QString GermanCount(int64_t n, const char* one, const char* many) {
    return GermanNumber(n) + QLatin1Char(' ') + QString::fromUtf8(n == 1 ? one : many);
}

QString TextCount(int64_t n) { return GermanCount(n, "Text", "Texte"); }

QString ByteName(uint8_t byte) {
    return QStringLiteral("0x%1").arg(QString::number(byte, 16).toUpper().rightJustified(2, u'0'));
}

void SpillOut(SpillWriter& out, const LossyText& text) {
    out.Real(text.id);
    out.Int(text.row);
    out.Int(static_cast<int64_t>(text.characters.size()));
    for (const LossyCharacter& c : text.characters) {
        out.Int(c.character);
        out.Text(c.replacement);
        out.Byte(c.bestFit ? 1 : 0);
    }
}

void SpillIn(SpillReader& in, LossyText& text) {
    text.id = in.Real();
    text.row = in.Int();
    const int64_t count = in.Int();
    text.characters.clear();
    for (int64_t i = 0; i < count && !in.Failed(); ++i) {
        LossyCharacter& c = text.characters.emplace_back();
        c.character = static_cast<char32_t>(in.Int());
        c.replacement = in.Text();
        c.bestFit = in.Byte() != 0;
    }
}

QString CodePointName(char32_t c) {
    return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

namespace {

QString Number(int64_t n) { return GermanNumber(n); }

QString Quoted(const QString& id) {
    return QStringLiteral("\u201E") + id + QStringLiteral("\u201C");
}

QString Character(char32_t c) {
    return QStringLiteral("%1 (%2)").arg(Quoted(QString::fromUcs4(&c, 1)), CodePointName(c));
}

int64_t Size(size_t n) { return static_cast<int64_t>(n); }

// A section of the details: a heading with the count, at most limit lines, then the rest.
template <typename List, typename Line>
void Section(QStringList& out, const QString& heading, const List& list, size_t limit, Line line) {
    if (list.empty()) return;
    out << QStringLiteral("%1 (%2):").arg(heading, Number(Size(list.size())));
    size_t shown = 0;
    for (const auto& entry : list) {
        if (shown++ == limit) break;
        out << QStringLiteral("  ") + line(entry);
    }
    if (list.size() > limit)
        out << QStringLiteral("  und %1 weitere").arg(Number(Size(list.size() - limit)));
    out << QString();
}

}  // namespace

bool ImportReport::HasFindings() const {
    return !rows.unmatched.empty() || !rows.noNumber.empty() || !rows.duplicates.empty() ||
           !lossy.empty() || !rows.reading.invalidBytes.empty() ||
           !rows.reading.withCodes.empty() || CheckFindings::HasErrors(checks);
}

QString ImportReport::EncodingWarning() const {
    if (!rows.reading.ansi || lossy.empty()) return {};
    return QStringLiteral(
               "Achtung: Die Textdatei wurde als %1 gelesen, doch %2 Zeichen, die die "
               "Codepage der Sprache nicht kennt. Ist sie anders codiert?")
        .arg(rows.reading.encoding,
             lossy.size() == 1 ? QStringLiteral("1 Text hat")
                               : Number(Size(lossy.size())) + QStringLiteral(" Texte haben"));
}

namespace {

// Why no text changed, for an import that changed none.
QString NothingChanged(const UpdateTally& rows) {
    if (rows.sourceRows == rows.nullKeys)
        return QStringLiteral("Kein Text wurde geändert: Die Quelle enthält keine Zeile mit ID.");
    if (rows.matched == 0)
        return QStringLiteral(
            "Kein Text wurde geändert: Keine ID der Quelle passt zu einem Text im Projekt.");
    if (rows.matched == 1)
        return QStringLiteral(
            "Kein Text wurde geändert: Der passende Text hatte diesen Wert schon.");
    return QStringLiteral(
               "Kein Text wurde geändert: Alle %1 passenden Texte hatten diese Werte schon.")
        .arg(Number(rows.matched));
}

// "1.204 Texte geändert (davon 3 auf Null gesetzt)", "37 unverändert"
void Changes(const UpdateTally& rows, QStringList& parts) {
    QString changed = GermanCount(rows.changed, "Text geändert", "Texte geändert");
    if (rows.setToNull > 0)
        changed += QStringLiteral(" (davon %1 auf Null gesetzt)").arg(Number(rows.setToNull));
    parts << changed;
    if (rows.unchanged > 0) parts << Number(rows.unchanged) + QStringLiteral(" unverändert");
}

// The rows of the source that did not simply update one text.
void SourceFindings(const UpdateTally& rows, QStringList& parts) {
    if (!rows.unmatched.empty())
        parts << GermanCount(Size(rows.unmatched.size()), "Zeile der Quelle", "Zeilen der Quelle") +
                     QStringLiteral(" ohne passenden Text im Projekt");
    if (!rows.noNumber.empty())
        parts << GermanCount(Size(rows.noNumber.size()), "ID", "IDs") +
                     QStringLiteral(" ohne Zahl");
    if (!rows.duplicates.empty())
        parts << GermanCount(Size(rows.duplicates.size()), "ID", "IDs") +
                     QStringLiteral(" mehrfach in der Quelle (die letzte Zeile gilt)");
    if (rows.nullKeys > 0)
        parts << GermanCount(rows.nullKeys, "Zeile", "Zeilen") +
                     QStringLiteral(" ohne ID übergangen");
}

// What reading and converting the texts found.
void TextFindings(const ImportReport& report, QStringList& parts) {
    const SourceReading& reading = report.rows.reading;
    if (!report.lossy.empty())
        parts << TextCount(Size(report.lossy.size())) +
                     QStringLiteral(" mit Zeichen, die die Codepage nicht kennt");
    if (const auto invalid = Size(reading.invalidBytes.size()); invalid > 0)
        parts << GermanCount(invalid, "Byte, das kein UTF-8 ist", "Bytes, die kein UTF-8 sind");
    if (const auto untranslated = Size(reading.untranslated.size()); untranslated > 0)
        parts << GermanCount(untranslated, "Einheit", "Einheiten") +
                     QStringLiteral(" ohne Übersetzung übergangen");
    if (const auto withCodes = Size(reading.withCodes.size()); withCodes > 0)
        parts << GermanCount(withCodes, "Einheit", "Einheiten") +
                     QStringLiteral(" mit Platzhalter-Codes nicht importiert");
    if (const QString checked = CheckFindings::Summary(report.checks); !checked.isEmpty())
        parts << checked;
}

// The reason, then the parts as one sentence.
QString Sentence(const QString& reason, const QStringList& parts) {
    if (parts.isEmpty()) return reason;
    QString list = parts.join(QStringLiteral(", ")) + QLatin1Char('.');
    if (reason.isEmpty()) return list;
    list[0] = list[0].toUpper();
    return reason + QLatin1Char(' ') + list;
}

// The lists of source rows: unmatched, without a number, repeated.
void SourceSections(const UpdateTally& rows, size_t limit, QStringList& out) {
    Section(out, QStringLiteral("Zeilen der Quelle ohne passenden Text im Projekt"), rows.unmatched,
            limit, [](const UpdateTally::SourceId& row) {
                return QStringLiteral("Zeile %1: ID %2").arg(Number(row.row), Quoted(row.id));
            });
    Section(out, QStringLiteral("IDs ohne Zahl, als ID 0 gelesen"), rows.noNumber, limit,
            [](const UpdateTally::NoNumber& row) {
                return QStringLiteral("Zeile %1: ID %2 \u2013 %3")
                    .arg(Number(row.source.row), Quoted(row.source.id),
                         row.applied ? QStringLiteral("in den Text 0 des Projekts übernommen")
                                     : QStringLiteral("nicht übernommen"));
            });
    Section(out, QStringLiteral("IDs mehrfach in der Quelle"), rows.duplicates, limit,
            [](const UpdateTally::Duplicate& duplicate) {
                QStringList places;
                for (const auto& row : duplicate.rows)
                    places << QStringLiteral("Zeile %1 (%2)").arg(Number(row.row), Quoted(row.id));
                return QStringLiteral("ID %1: %2 \u2013 es gilt Zeile %3")
                    .arg(ShortestDecimal(duplicate.key), places.join(QStringLiteral(", ")),
                         Number(duplicate.Winner().row));
            });
}

// The lists of texts: lost characters, bytes that are no UTF-8, skipped units.
void TextSections(const ImportReport& report, size_t limit, QStringList& out) {
    const SourceReading& reading = report.rows.reading;
    Section(out, QStringLiteral("Texte mit Zeichen, die die Codepage nicht kennt"), report.lossy,
            limit, [](const LossyText& text) {
                QStringList characters;
                for (const auto& c : text.characters)
                    characters << QStringLiteral("%1 wurde %2%3")
                                      .arg(Character(c.character), Quoted(c.replacement),
                                           c.bestFit ? QString()
                                                     : QStringLiteral(" (kein ähnliches Zeichen)"));
                return QStringLiteral("ID %1: %2")
                    .arg(ShortestDecimal(text.id), characters.join(QStringLiteral("; ")));
            });
    Section(out, QStringLiteral("Bytes, die kein UTF-8 sind, in der Codepage der Sprache gelesen"),
            reading.invalidBytes, limit, [](const InvalidByte& invalid) {
                return QStringLiteral("Zeile %1: Byte %2 als %3")
                    .arg(Number(invalid.line), ByteName(invalid.byte), Quoted(invalid.readAs));
            });
    auto unit = [](const SkippedUnit& skipped) {
        return QStringLiteral("Einheit %1: ID %2").arg(Number(skipped.row), Quoted(skipped.id));
    };
    Section(out, QStringLiteral("Einheiten mit Platzhalter-Codes, nicht importiert"),
            reading.withCodes, limit, unit);
    Section(out, QStringLiteral("Einheiten ohne Übersetzung, übergangen"), reading.untranslated,
            limit, unit);
}

}  // namespace

QString ImportReport::Summary() const {
    QStringList parts;
    QString reason;
    if (rows.changed > 0)
        Changes(rows, parts);
    else
        reason = NothingChanged(rows);
    SourceFindings(rows, parts);
    TextFindings(*this, parts);
    QString summary = Sentence(reason, parts);
    if (!rows.reading.encoding.isEmpty())
        summary += QStringLiteral(" Gelesen als %1.").arg(rows.reading.encoding);
    if (!written) summary = QStringLiteral("Vorschau, nichts geschrieben: ") + summary;
    if (const QString warning = EncodingWarning(); !warning.isEmpty())
        summary = warning + QLatin1Char('\n') + summary;
    return summary;
}

QString ImportReport::Details(size_t limit) const {
    QStringList out;
    out << QStringLiteral(
               "%1 gelesen, %2 ohne ID; %3 im Projekt getroffen: %4 geändert "
               "(%5 auf Null gesetzt), %6 unverändert.")
               .arg(GermanCount(rows.sourceRows, "Zeile", "Zeilen"), Number(rows.nullKeys),
                    TextCount(rows.matched), Number(rows.changed), Number(rows.setToNull),
                    Number(rows.unchanged))
        << QString();
    if (!reference)
        out << QStringLiteral(
                   "Die Übersetzung wurde nicht geprüft: Das Projekt hat keine "
                   "Referenzsprache (Deutsch, L1031) neben der importierten.")
            << QString();
    SourceSections(rows, limit, out);
    TextSections(*this, limit, out);
    if (reference)
        CheckFindings::Details(checks, QStringLiteral("Prüfung gegen L%1").arg(*reference), limit,
                               out);
    while (!out.isEmpty() && out.last().isEmpty()) out.removeLast();
    return out.join(QLatin1Char('\n'));
}
