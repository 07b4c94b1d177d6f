#include "MLanguageTransfer.h"

#include "CodePage.h"
#include "DBEngine.h"
#include "Database.h"
#include "LanguageList.h"
#include "LanguageRecoding.h"
#include "MessageBox.h"
#include "NumberMap.h"
#include "RuntimeError.h"
#include "SourceFormats.h"
#include "ToolsApp.h"
#include "TranslationInspector.h"
#include "UndoStore.h"
#include "VectorRegisters.h"

#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>

namespace MLanguageTransfer {
namespace {

const QString kTextTable = QStringLiteral("TidxTexts");
const QString kLinkName = QStringLiteral("TidxTemp");
constexpr int32_t kGerman = 1031;

void ReportFailure(int32_t number, const QString& description) {
    MessageBox::Show(QStringLiteral("Fehler beim Importieren einer Sprache!\n%1: %2")
                         .arg(number)
                         .arg(description),
                     MessageBox::Icon::None);
}

QString SourceExtension(const QString& sourceFile) {
    return ToolsApp::Instance().Files()->GetExtension(sourceFile);
}

QString UpdateStatementFor(const QString& column) {
    return QStringLiteral(
               "UPDATE [SELECT TidxTexts.%1, TidxTemp.%1 FROM TidxTexts INNER JOIN TidxTemp "
               "ON TidxTexts.ID = Val(TidxTemp.ID)]. AS Temp SET TidxTexts.%1 = TidxTemp.%1;")
        .arg(column);
}

}  // namespace

QString LanguageColumn(int32_t lcid) { return QStringLiteral("L") + QString::number(lcid); }

namespace {

// The LCID of a language column: the rest of the name as a 32-bit signed integer.
int32_t ColumnLcid(const QString& column) {
    static const QRegularExpression digits(QStringLiteral(R"(^\s*[+-]?\d+\s*$)"));
    const QString rest = column.mid(1);
    if (!digits.match(rest).hasMatch()) throw RuntimeError::NoLanguageColumn(column);
    bool ok = false;
    const qlonglong value = rest.trimmed().toLongLong(&ok);
    if (!ok || value < INT32_MIN || value > INT32_MAX)
        throw RuntimeError::LanguageIdOverflow(column);
    return static_cast<int32_t>(value);
}

}  // namespace

void FillLanguageList(const QString& projectFile, LanguageList& list) {
    list.Clear();
    if (projectFile.isEmpty()) return;
    // Listing changes nothing, so a project the user may only read lists too.
    auto db = DBEngine::Instance().OpenDatabase(projectFile, /*readOnly=*/true);
    const TableDef texts = db->TableDefs().Item(kTextTable);
    for (const QString& column : texts.Fields()) {
        if (!column.startsWith(QLatin1Char('L'))) continue;
        const int32_t lcid = ColumnLcid(column);
        const auto name = CodePage::LanguageName(lcid);
        if (!name) throw RuntimeError::UnknownLanguage(lcid, column);
        list.AddItem(QStringLiteral("%1 [%2]").arg(*name).arg(lcid));
        list.SetItemData(list.NewIndex(), lcid);
    }
    db->Close();
}

namespace {

// The format of a source file, by its extension as the tools library gives it.
const SourceFormats::Format* SourceFormat(const QString& sourceFile) {
    return SourceFormats::ForExtension(SourceExtension(sourceFile));
}

// The link to the source's text table, by the source's format. A text file that
// is no Unicode is in the code page a translator's Excel in the language saves in.
TableDef SourceLink(Database& db, const QString& sourceFile, int32_t lcid,
                    const ImportOptions& options) {
    const SourceFormats::Format* format = SourceFormat(sourceFile);
    if (!format) throw RuntimeError::UnknownSourceKind(sourceFile, SourceFormats::Extensions());
    SourceFormats::ReadOptions read;
    read.defaultCharacterSet = CodePage::DefaultAnsiCodePage(lcid);
    read.characterSet = options.encoding;
    read.language = lcid;
    TableDef link = db.CreateTableDef(kLinkName);
    link.SetConnect(SourceFormats::Connect(*format, sourceFile, read));
    link.SetSourceTableName(SourceFormats::SourceTableName(*format, sourceFile));
    return link;
}

// Workbooks, text files and database files hold real characters; another project
// holds its texts in the code-page form already.
bool ConvertsTexts(const QString& sourceFile) {
    const SourceFormats::Format* format = SourceFormat(sourceFile);
    return format && format->convertsTexts;
}

// Of several source rows with one ID only the last one's text stays; what the
// code page did to the others' texts, and what their checks found, does not matter.
// Neither does what it did to a row that matched no text: the conversion runs
// ahead of the update, on every row with an ID and a text.
void DropUnusedTexts(ImportReport& report) {
    const auto& duplicates = report.rows.duplicates;
    const auto& unmatched = report.rows.unmatched;
    if (!unmatched.empty() && !report.lossy.empty()) {
        NumberMap unused(unmatched.size());
        for (const auto& row : unmatched) unused.Add(static_cast<double>(row.row), 0);
        report.lossy.RemoveIf(
            [&](const LossyText& text) { return unused.Contains(static_cast<double>(text.row)); });
    }
    if (duplicates.empty() || (report.lossy.empty() && report.checks.empty())) return;
    // The winning row of each repeated ID.
    NumberMap winners(duplicates.size());
    for (const auto& duplicate : duplicates) winners.Add(duplicate.key, duplicate.Winner().row);
    auto replaced = [&](double id, int64_t row) {
        const auto winner = winners.Find(id);
        return winner && *winner != row;
    };
    report.lossy.RemoveIf([&](const LossyText& text) { return replaced(text.id, text.row); });
    report.checks.RemoveIf(
        [&](const CheckFinding& check) { return replaced(check.id, check.row); });
}

// Runs the import's update, handing its changes to the sink, or without a sink
// its preview; with the conversion the source needs and the checks against the
// reference language.
ImportReport RunUpdate(Database& db, int32_t lcid, const QString& sourceFile,
                       LinkedRowsModule::ChangeSink* changes, const ImportProgress& progress,
                       const ImportOptions& options) {
    const bool write = changes != nullptr;
    ImportReport report;
    LanguageRecoding recoding(ConvertsTexts(sourceFile) ? lcid : 0);
    Database::Hooks hooks;
    // On the thread that reads the source or the statement's, one at a time in
    // the rows' order (see SourceRowFeed): nothing else uses the recoding or the
    // lost texts' list until the update is done.
    if (recoding.ConvertsAnything())
        hooks.convert = [&](double id, int64_t row, QByteArray& text) {
            recoding.Convert(id, row, text, report.lossy);
        };
    hooks.changes = changes;
    hooks.progress = progress;
    if (options.checkTranslations)
        report.reference = ReferenceLanguage(db, lcid, options.reference);
    std::optional<TranslationInspector> inspector;
    if (report.reference) {
        inspector.emplace(lcid, *report.reference, ConvertsTexts(sourceFile), report.checks);
        hooks.alsoRead = LanguageColumn(*report.reference);
        hooks.inspect = [&](double key, int64_t row, sqlite3_value* stored, const char* text,
                            int size) { (*inspector)(key, row, stored, text, size); };
    }
    hooks.restarted = [&] {
        if (inspector) inspector->Restart();
        report.lossy.clear();
        report.checks.clear();
    };
    const QString statement = UpdateStatementFor(LanguageColumn(lcid));
    if (write)
        db.Execute(statement, hooks);
    else
        db.Preview(statement, hooks);
    if (inspector) inspector->Finish();
    report.rows = db.LastTally();
    report.written = write;
    DropUnusedTexts(report);
    return report;
}

}  // namespace

std::optional<int32_t> ReferenceLanguage(Database& db, int32_t lcid, std::optional<int32_t> asked) {
    // Without a text table the operation fails with its own error.
    const auto texts = db.TableDefs().Find(kTextTable);
    if (!texts) return std::nullopt;
    const QStringList columns = texts->Fields();
    if (asked) {
        if (!columns.contains(LanguageColumn(*asked), Qt::CaseInsensitive))
            throw RuntimeError::ColumnMissing(LanguageColumn(*asked), kTextTable, db.Name());
        return asked;
    }
    if (lcid != kGerman && columns.contains(LanguageColumn(kGerman), Qt::CaseInsensitive))
        return kGerman;
    return std::nullopt;
}

bool IsTextFile(const QString& sourceFile) {
    const SourceFormats::Format* format = SourceFormat(sourceFile);
    return format && format->linking == SourceFormats::Linking::FileInFolder;
}

ImportReport ImportLanguage(const QString& projectFile, int32_t lcid, const QString& sourceFile,
                            const ImportProgress& progress, const ImportOptions& options) {
    VectorRegisters::ClearUpperHalves();
    auto db = DBEngine::Instance().OpenDatabase(projectFile);
    // The whole import is one transaction, so a failure at any step leaves the
    // project as it was (closing the database rolls it back). Taking the write lock
    // first makes a project that another program holds fail once, after the lock
    // timeout, before anything is read.
    db->BeginTrans();
    // The previous values of the texts go into the project's undo store, committed
    // there before the project commits and marked complete after.
    UndoStore::Recording undo(*db, projectFile, lcid, sourceFile);
    // A link left behind by an aborted import goes first; its absence is the normal case.
    if (db->TableDefs().Contains(kLinkName)) db->TableDefs().Delete(kLinkName);
    db->TableDefs().Append(SourceLink(*db, sourceFile, lcid, options));
    undo.Start();
    ImportReport report = RunUpdate(*db, lcid, sourceFile, &undo, progress, options);
    undo.Finish(report.rows.changed);
    db->TableDefs().Delete(kLinkName);
    db->CommitTrans();
    undo.Committed();
    db->Close();
    return report;
}

ImportReport PreviewLanguage(const QString& projectFile, int32_t lcid, const QString& sourceFile,
                             const ImportProgress& progress, const ImportOptions& options) {
    VectorRegisters::ClearUpperHalves();
    auto db = DBEngine::Instance().OpenDatabase(projectFile, /*readOnly=*/true);
    // The link lives on this connection only, so nothing is written to the project.
    db->TableDefs().Attach(SourceLink(*db, sourceFile, lcid, options));
    ImportReport report = RunUpdate(*db, lcid, sourceFile, nullptr, progress, options);
    db->Close();
    return report;
}

bool TransferLanguage(const QString& projectFile, int32_t lcid, const QString& sourceFile,
                      ImportReport* report, const ImportProgress& progress,
                      const ImportOptions& options) {
    try {
        ImportReport done = ImportLanguage(projectFile, lcid, sourceFile, progress, options);
        if (report) *report = std::move(done);
        return true;
    } catch (...) {
        const RuntimeError error = RuntimeError::FromCurrentException();
        // The user who cancelled knows; the project is as it was.
        if (error.Number() != ErrorNumber::Cancelled)
            ReportFailure(error.Number(), error.Description());
    }
    return false;
}

}  // namespace MLanguageTransfer
