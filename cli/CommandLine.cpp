#include "CommandLine.h"

#include "CodePage.h"
#include "ExportWriter.h"
#include "Help.h"
#include "LanguageExport.h"
#include "LanguageList.h"
#include "MLanguageTransfer.h"
#include "RegisteredProjects.h"
#include "ReportJson.h"
#include "RuntimeError.h"
#include "TerminalProgress.h"
#include "TextFileEncoding.h"
#include "TranslationLint.h"
#include "UndoStore.h"
#include "Variant.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

namespace CommandLine {
namespace {

const char* const kVersion = "quorvin-language " QUORVIN_VERSION;

struct UsageError {
    QString message;
};

void Out(const QString& text) { std::fputs(text.toUtf8().constData(), stdout); }
void Err(const QString& text) { std::fputs(text.toUtf8().constData(), stderr); }

// The arguments of a command: positional ones and the options it knows.
struct Arguments {
    QStringList positional;
    bool json = false, strict = false, list = false, force = false, missingOnly = false;
    QString reference;
    QString encoding;
};

Arguments Parse(const QString& command, const QStringList& rest, const QStringList& options) {
    Arguments parsed;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const QString& argument = rest[i];
        if (!argument.startsWith(QLatin1String("--")) || argument == QLatin1String("--")) {
            parsed.positional.append(argument);
            continue;
        }
        QString option = argument.mid(2);
        QString value;
        if (const qsizetype equals = option.indexOf(QLatin1Char('=')); equals > 0) {
            value = option.mid(equals + 1);
            option.truncate(equals);
        }
        if (!options.contains(option))
            throw UsageError{QStringLiteral("\u201E%1\u201C kennt die Option \u201E%2\u201C nicht.")
                                 .arg(command, argument)};
        if (option == QLatin1String("json")) parsed.json = true;
        if (option == QLatin1String("strict")) parsed.strict = true;
        if (option == QLatin1String("list")) parsed.list = true;
        if (option == QLatin1String("force")) parsed.force = true;
        if (option == QLatin1String("missing-only")) parsed.missingOnly = true;
        if (option == QLatin1String("reference") || option == QLatin1String("encoding")) {
            if (value.isEmpty() && i + 1 < rest.size()) value = rest[++i];
            const bool reference = option == QLatin1String("reference");
            if (value.isEmpty())
                throw UsageError{QStringLiteral("\u201E--%1\u201C erwartet %2.")
                                     .arg(option, reference ? QStringLiteral("eine SPRACHE")
                                                            : QStringLiteral("eine KODIERUNG"))};
            (reference ? parsed.reference : parsed.encoding) = value;
        }
    }
    return parsed;
}

void RequireCount(const QString& command, const Arguments& arguments, qsizetype count,
                  const char* names) {
    if (arguments.positional.size() != count)
        throw UsageError{
            QStringLiteral("\u201E%1\u201C erwartet %2.").arg(command, QString::fromUtf8(names))};
}

// A project named on the command line: the path of a file, else a registered name.
QString ProjectFile(const QString& project) {
    if (QFileInfo(project).isFile()) return project;
    if (auto registered = FindRegisteredProject(project)) {
        if (registered->missing) throw RuntimeError::FileNotFound(registered->file);
        return registered->file;
    }
    throw UsageError{QStringLiteral("\u201E%1\u201C ist weder eine Projektdatei noch ein "
                                    "registriertes Projekt (siehe \u201Equorvin-language "
                                    "projects\u201C).")
                         .arg(project)};
}

// The languages of a project, as the window's list has them.
class CollectedLanguages : public LanguageList {
  public:
    struct Language {
        QString text;
        int32_t lcid = 0;
    };
    std::vector<Language> languages;

    void Clear() override { languages.clear(); }
    void AddItem(const QString& text) override { languages.push_back({text, 0}); }
    int NewIndex() const override { return static_cast<int>(languages.size()) - 1; }
    void SetItemData(int index, int32_t value) override {
        languages[static_cast<size_t>(index)].lcid = value;
    }
};

CollectedLanguages LanguagesOf(const QString& projectFile) {
    CollectedLanguages list;
    MLanguageTransfer::FillLanguageList(projectFile, list);
    return list;
}

// A language of the project, given as "1049" or "L1049".
int32_t Language(const QString& projectFile, const QString& language) {
    QString digits = language;
    if (digits.startsWith(QLatin1Char('L'), Qt::CaseInsensitive)) digits.remove(0, 1);
    bool ok = false;
    const int32_t lcid = digits.toInt(&ok);
    const CollectedLanguages list = LanguagesOf(projectFile);
    QStringList known;
    for (const auto& entry : list.languages) {
        if (ok && entry.lcid == lcid) return lcid;
        known << entry.text;
    }
    throw UsageError{QStringLiteral("Das Projekt hat die Sprache \u201E%1\u201C nicht. Es hat: %2.")
                         .arg(language, known.isEmpty() ? QStringLiteral("keine")
                                                        : known.join(QStringLiteral(", ")))};
}

// The language given with --reference: one of the project, not the language itself.
std::optional<int32_t> ReferenceLanguage(const QString& projectFile, int32_t lcid,
                                         const Arguments& arguments) {
    if (arguments.reference.isEmpty()) return std::nullopt;
    const int32_t reference = Language(projectFile, arguments.reference);
    if (reference == lcid)
        throw UsageError{QStringLiteral(
            "\u201E--reference\u201C nennt eine zweite Sprache, nicht die Sprache selbst.")};
    return reference;
}

void PrintJson(const QJsonObject& object) {
    Out(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)));
}

QJsonObject ErrorJson(const RuntimeError& error) {
    return {{QStringLiteral("number"), error.Number()},
            {QStringLiteral("description"), error.Description()}};
}

// The JSON object of a command that wrote nothing because it failed.
void PrintFailure(QJsonObject json, const RuntimeError& error) {
    json.insert(QStringLiteral("written"), false);
    json.insert(QStringLiteral("error"), ErrorJson(error));
    PrintJson(json);
}

int Projects(const Arguments& arguments) {
    const auto projects = ReadRegisteredProjects();
    if (arguments.json) {
        QJsonArray list;
        for (const auto& project : projects)
            list.append(QJsonObject{{QStringLiteral("name"), project.name},
                                    {QStringLiteral("type"), project.type},
                                    {QStringLiteral("directory"), project.directory},
                                    {QStringLiteral("file"), project.file},
                                    {QStringLiteral("missing"), project.missing}});
        PrintJson({{QStringLiteral("projects"), list}});
        return kDone;
    }
    if (projects.empty()) Out(QStringLiteral("Keine Projekte registriert.\n"));
    for (const auto& project : projects)
        Out(QStringLiteral("%1\t%2\t%3%4\n")
                .arg(project.name, project.type, project.directory,
                     project.missing ? QStringLiteral("\t(Datei fehlt)") : QString()));
    return kDone;
}

int Languages(const Arguments& arguments) {
    RequireCount(QStringLiteral("languages"), arguments, 1, "ein PROJEKT");
    const QString file = ProjectFile(arguments.positional[0]);
    const CollectedLanguages list = LanguagesOf(file);
    if (arguments.json) {
        QJsonArray languages;
        for (const auto& entry : list.languages)
            languages.append(QJsonObject{
                {QStringLiteral("lcid"), entry.lcid},
                {QStringLiteral("column"), MLanguageTransfer::LanguageColumn(entry.lcid)},
                {QStringLiteral("name"), CodePage::LanguageName(entry.lcid).value_or(QString())}});
        PrintJson({{QStringLiteral("project"), file}, {QStringLiteral("languages"), languages}});
        return kDone;
    }
    for (const auto& entry : list.languages)
        Out(QStringLiteral("%1\t%2\t%3\n")
                .arg(entry.lcid)
                .arg(MLanguageTransfer::LanguageColumn(entry.lcid),
                     CodePage::LanguageName(entry.lcid).value_or(QString())));
    return kDone;
}

// check and import: the report of a preview or an import.
int Transfer(const QString& command, const Arguments& arguments) {
    RequireCount(command, arguments, 3, "PROJEKT, SPRACHE und QUELLE");
    const QString file = ProjectFile(arguments.positional[0]);
    const int32_t lcid = Language(file, arguments.positional[1]);
    const QString source = arguments.positional[2];
    MLanguageTransfer::ImportOptions options;
    if (!arguments.encoding.isEmpty()) {
        const auto codePage = TextFileEncoding::CodePageNamed(arguments.encoding);
        if (!codePage)
            throw UsageError{QStringLiteral("Die Kodierung \u201E%1\u201C ist unbekannt (z. B. "
                                            "UTF-8, UTF-16, Windows-1251, Shift_JIS).")
                                 .arg(arguments.encoding)};
        if (!MLanguageTransfer::IsTextFile(source))
            throw UsageError{
                QStringLiteral("\u201E--encoding\u201C gilt nur f\u00FCr Textdateien.")};
        options.encoding = *codePage;
    }
    options.reference = ReferenceLanguage(file, lcid, arguments);
    QJsonObject json{{QStringLiteral("project"), file},
                     {QStringLiteral("language"), MLanguageTransfer::LanguageColumn(lcid)},
                     {QStringLiteral("source"), source}};
    try {
        const bool check = command == QLatin1String("check");
        ImportReport report;
        {
            TerminalProgress progress(check ? QStringLiteral("Pr\u00FCfe")
                                            : QStringLiteral("Importiere"));
            if (check || arguments.strict)
                report = MLanguageTransfer::PreviewLanguage(file, lcid, source, progress.Callback(),
                                                            options);
            if (!check && !(arguments.strict && report.HasFindings()))
                report = MLanguageTransfer::ImportLanguage(file, lcid, source, progress.Callback(),
                                                           options);
        }
        const int status = report.HasFindings() && (check || !report.written) ? kFindings : kDone;
        if (arguments.json) {
            for (auto it = ReportJson::FromReport(report); const QString& key : it.keys())
                json.insert(key, it.value(key));
            ReportJson::Print(json,
                              {&report.lossy, &report.checks, &report.rows.unmatched,
                               &report.rows.noNumber, &report.rows.duplicates},
                              stdout);
        } else {
            QString text =
                report.Summary() + QStringLiteral("\n\n") + report.Details() + QLatin1Char('\n');
            if (status == kFindings && !check)
                text += QStringLiteral("\nNichts importiert (--strict).\n");
            Out(text);
        }
        return status;
    } catch (const RuntimeError& error) {
        if (arguments.json) PrintFailure(json, error);
        throw;
    }
}

// A size as users read it: "0,3 MB", "1.024 MB"; below a tenth of a megabyte
// in kilobytes, rounded up ("12 KB"), so that a small import does not read "0,0 MB".
QString Megabytes(int64_t bytes) {
    if (bytes < (1 << 20) / 10) return GermanNumber((bytes + 1023) / 1024) + QStringLiteral(" KB");
    const double mb = static_cast<double>(bytes) / (1 << 20);
    return QLocale(QLocale::German).toString(mb, 'f', mb < 10 ? 1 : 0) + QStringLiteral(" MB");
}

// The kept imports of the project, newest first, with what they take in the
// store, and the size of all stores against their limit.
int ListUndo(const QString& file, bool json) {
    const auto entries = UndoStore::List(file);
    const UndoStore::Sizes sizes = UndoStore::SizesFor(file);
    if (json) {
        QJsonArray list;
        for (const auto& entry : entries) list.append(ReportJson::FromEntry(entry));
        PrintJson({{QStringLiteral("project"), file},
                   {QStringLiteral("imports"), list},
                   {QStringLiteral("storeBytes"), static_cast<qint64>(sizes.project)},
                   {QStringLiteral("allStoresBytes"), static_cast<qint64>(sizes.all)},
                   {QStringLiteral("limitBytes"), static_cast<qint64>(sizes.limit)}});
        return kDone;
    }
    if (entries.empty()) Out(QStringLiteral("Keine gespeicherten Imports.\n"));
    for (const auto& entry : entries) {
        QString state;
        if (entry.undone)
            state = QStringLiteral("\tzur\u00FCckgenommen");
        else if (entry.dropped)
            state = QStringLiteral("\tnicht mehr aufbewahrt (Grenze des Speichers)");
        Out(QStringLiteral("%1\t%2\t%3\t%4\t%5%6\n")
                .arg(entry.time, entry.column, entry.source, TextCount(entry.rows),
                     Megabytes(entry.bytes), state));
    }
    Out(QStringLiteral("R\u00FCckg\u00E4ngig-Speicher: %1 f\u00FCr dieses Projekt, %2 aller "
                       "Projekte von h\u00F6chstens %3 (QUORVIN_UNDO_LIMIT_MB).\n")
            .arg(Megabytes(sizes.project), Megabytes(sizes.all), Megabytes(sizes.limit)));
    return kDone;
}

int Undo(const Arguments& arguments) {
    RequireCount(QStringLiteral("undo"), arguments, 1, "ein PROJEKT");
    const QString file = ProjectFile(arguments.positional[0]);
    if (arguments.list) return ListUndo(file, arguments.json);
    QJsonObject json{{QStringLiteral("project"), file}};
    try {
        const UndoStore::UndoResult result = UndoStore::UndoLast(file, arguments.force);
        if (!result.found) throw RuntimeError::NothingToUndo(file);
        const int status = !result.conflicts.empty() && !arguments.force ? kFindings : kDone;
        if (arguments.json) {
            for (auto it = ReportJson::FromUndo(result); const QString& key : it.keys())
                json.insert(key, it.value(key));
            PrintJson(json);
        } else {
            QString text = QStringLiteral(
                               "Import vom %1 (%2 aus %3) zur\u00FCckgenommen: %4 "
                               "wiederhergestellt.\n")
                               .arg(result.entry.time, result.entry.column, result.entry.source,
                                    TextCount(result.reverted));
            if (!result.conflicts.empty()) {
                text += arguments.force ? QStringLiteral(
                                              "Seit dem Import ge\u00E4ndert und trotzdem "
                                              "zur\u00FCckgesetzt (--force):\n")
                                        : QStringLiteral(
                                              "Seit dem Import ge\u00E4ndert und darum belassen "
                                              "(--force setzt auch sie zur\u00FCck):\n");
                for (const auto& conflict : result.conflicts)
                    text += QStringLiteral("  ID %1: %2\n")
                                .arg(ShortestDecimal(conflict.id),
                                     conflict.gone
                                         ? QStringLiteral("Zeile gel\u00F6scht")
                                         : QStringLiteral("\u201E%1\u201C statt \u201E%2\u201C")
                                               .arg(conflict.current, conflict.written));
            }
            Out(text);
        }
        return status;
    } catch (const RuntimeError& error) {
        if (arguments.json) {
            json.insert(QStringLiteral("error"), ErrorJson(error));
            PrintJson(json);
        }
        throw;
    }
}

int Export(const Arguments& arguments) {
    RequireCount(QStringLiteral("export"), arguments, 3, "PROJEKT, SPRACHE und DATEI");
    const QString file = ProjectFile(arguments.positional[0]);
    const int32_t lcid = Language(file, arguments.positional[1]);
    const QString output = arguments.positional[2];
    if (!ExportWriter::Writes(output))
        throw UsageError{QStringLiteral("\u201E%1\u201C: export schreibt %2.")
                             .arg(output, ExportWriter::Extensions())};
    LanguageExport::Options options;
    options.missingOnly = arguments.missingOnly;
    options.reference = ReferenceLanguage(file, lcid, arguments);
    QJsonObject json{{QStringLiteral("project"), file},
                     {QStringLiteral("language"), MLanguageTransfer::LanguageColumn(lcid)},
                     {QStringLiteral("output"), output}};
    try {
        LanguageExport::Result result;
        {
            TerminalProgress progress(QStringLiteral("Exportiere"));
            result = LanguageExport::Export(file, lcid, output, options, progress.Callback());
        }
        const int status = result.HasFindings() ? kFindings : kDone;
        if (arguments.json) {
            QJsonArray asStored, omitted;
            for (const auto& text : result.asStored)
                asStored.append(QJsonObject{{QStringLiteral("id"), text.id},
                                            {QStringLiteral("text"), text.text}});
            for (const double id : result.omitted) omitted.append(ShortestDecimal(id));
            json.insert(QStringLiteral("written"), true);
            json.insert(QStringLiteral("rows"), static_cast<qint64>(result.rows));
            json.insert(QStringLiteral("asStored"), asStored);
            json.insert(QStringLiteral("omitted"), omitted);
            if (result.reference)
                json.insert(QStringLiteral("reference"),
                            MLanguageTransfer::LanguageColumn(*result.reference));
            PrintJson(json);
            return status;
        }
        QString text = result.Summary(output) + QLatin1Char('\n');
        if (result.HasFindings()) text += QLatin1Char('\n') + result.Details() + QLatin1Char('\n');
        Out(text);
        return status;
    } catch (const RuntimeError& error) {
        if (arguments.json) PrintFailure(json, error);
        throw;
    }
}

int Lint(const Arguments& arguments) {
    RequireCount(QStringLiteral("lint"), arguments, 2, "PROJEKT und SPRACHE");
    const QString file = ProjectFile(arguments.positional[0]);
    const int32_t lcid = Language(file, arguments.positional[1]);
    const auto reference = ReferenceLanguage(file, lcid, arguments);
    QJsonObject json{{QStringLiteral("project"), file},
                     {QStringLiteral("language"), MLanguageTransfer::LanguageColumn(lcid)}};
    try {
        const TranslationLint::Result result = TranslationLint::Lint(file, lcid, reference);
        const int status = CheckFindings::HasErrors(result.findings) ? kFindings : kDone;
        if (arguments.json) {
            for (auto it = ReportJson::FromLint(result); const QString& key : it.keys())
                json.insert(key, it.value(key));
            ReportJson::Print(json, {nullptr, &result.findings}, stdout);
            return status;
        }
        if (!result.reference) {
            Out(QStringLiteral("Nicht gepr\u00FCft: Das Projekt hat keine Referenzsprache "
                               "(Deutsch, L1031) neben %1; nennen Sie eine mit --reference.\n")
                    .arg(MLanguageTransfer::LanguageColumn(lcid)));
            return status;
        }
        const QString found = CheckFindings::Summary(result.findings);
        QStringList lines{
            QStringLiteral("%1 gegen %2 gepr\u00FCft: %3.")
                .arg(TextCount(result.texts), MLanguageTransfer::LanguageColumn(*result.reference),
                     found.isEmpty() ? QStringLiteral("keine Befunde") : found),
            QString()};
        CheckFindings::Details(result.findings,
                               QStringLiteral("Pr\u00FCfung gegen %1")
                                   .arg(MLanguageTransfer::LanguageColumn(*result.reference)),
                               std::numeric_limits<size_t>::max(), lines);
        while (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        Out(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        return status;
    } catch (const RuntimeError& error) {
        if (arguments.json) PrintFailure(json, error);
        throw;
    }
}

}  // namespace

int Run(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        Err(Help::Main());
        return kUsage;
    }
    const QString command = arguments.first();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        Out(Help::Main());
        return kDone;
    }
    if (command == QLatin1String("--version")) {
        Out(QString::fromUtf8(kVersion) + QLatin1Char('\n'));
        return kDone;
    }
    const QString help = Help::ForCommand(command);
    try {
        if (help.isEmpty())
            throw UsageError{QStringLiteral("Unbekannter Befehl \u201E%1\u201C.").arg(command)};
        const QStringList rest = arguments.mid(1);
        if (rest.contains(QStringLiteral("--help")) || rest.contains(QStringLiteral("-h"))) {
            Out(help);
            return kDone;
        }
        const QString json = QStringLiteral("json");
        if (command == QLatin1String("projects")) {
            const Arguments parsed = Parse(command, rest, {json});
            RequireCount(command, parsed, 0, "keine Argumente");
            return Projects(parsed);
        }
        if (command == QLatin1String("languages")) return Languages(Parse(command, rest, {json}));
        const QString encoding = QStringLiteral("encoding");
        const QString reference = QStringLiteral("reference");
        if (command == QLatin1String("check"))
            return Transfer(command, Parse(command, rest, {json, encoding, reference}));
        if (command == QLatin1String("import"))
            return Transfer(command, Parse(command, rest,
                                           {json, encoding, reference, QStringLiteral("strict")}));
        if (command == QLatin1String("lint")) return Lint(Parse(command, rest, {json, reference}));
        if (command == QLatin1String("export"))
            return Export(
                Parse(command, rest,
                      {json, QStringLiteral("reference"), QStringLiteral("missing-only")}));
        return Undo(Parse(command, rest, {json, QStringLiteral("list"), QStringLiteral("force")}));
    } catch (const UsageError& usage) {
        Err(usage.message + QStringLiteral("\n"));
        Err(!help.isEmpty() ? QStringLiteral("\n") + help
                            : QStringLiteral("Hilfe: quorvin-language --help\n"));
        return kUsage;
    } catch (...) {
        const RuntimeError error = RuntimeError::FromCurrentException();
        Err(QStringLiteral("Fehler %1: %2\n").arg(error.Number()).arg(error.Description()));
        return kFailed;
    }
}

}  // namespace CommandLine
