#include "LanguageExport.h"

#include "DBEngine.h"
#include "Database.h"
#include "ExportWriter.h"
#include "FileName.h"
#include "ImportReport.h"
#include "LanguageRecoding.h"
#include "RuntimeError.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"
#include "VectorRegisters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>

namespace LanguageExport {
namespace {

const QString kTextTable = QStringLiteral("TidxTexts");
constexpr int64_t kProgressStep = 4096;

// The stored name of a column of the texts, found without regard to case.
QString StoredColumn(const QStringList& columns, const QString& column, const QString& table,
                     const QString& file) {
    for (const QString& stored : columns)
        if (stored.compare(column, Qt::CaseInsensitive) == 0) return stored;
    throw RuntimeError::ColumnMissing(column, table, file);
}

// A column as wide as its longest text wants, within reason.
int Width(int64_t longest) { return static_cast<int>(std::clamp<int64_t>(longest + 2, 12, 60)); }

// The export's query: the ID, the reference language when asked for and the
// language, from one text table, with the widths of its columns.
class ExportQuery {
  public:
    ExportQuery(SqliteConnection& connection, const QString& projectFile, int32_t lcid,
                const Options& options)
        : connection_(connection), file_(projectFile) {
        const auto table = connection.FindTable(kTextTable);
        if (!table) throw RuntimeError::TableNotInFile(kTextTable, projectFile);
        const QStringList stored = connection.Columns(*table);
        id_ = StoredColumn(stored, QStringLiteral("ID"), *table, projectFile);
        std::vector<int32_t> lcids;
        if (options.reference) lcids.push_back(*options.reference);
        lcids.push_back(lcid);
        for (const int32_t each : lcids)
            languages.push_back(std::make_unique<Language>(
                StoredColumn(stored, MLanguageTransfer::LanguageColumn(each), *table, projectFile),
                each));
        QString where = QStringLiteral(" WHERE %1 IS NOT NULL").arg(QuoteIdentifier(id_));
        if (options.missingOnly)
            where += QStringLiteral(" AND (%1 IS NULL OR %1 = '')")
                         .arg(QuoteIdentifier(languages.back()->column));
        from_ = QStringLiteral(" FROM ") + QuoteIdentifier(*table) + where;
        lcids_ = lcids;
    }

    struct Language {
        QString column;
        LanguageRecoding recoding;
        Language(QString name, int32_t lcid) : column(std::move(name)), recoding(lcid) {}
    };
    std::vector<std::unique_ptr<Language>> languages;  // the reference first, when there is one

    // The number of rows, and the columns of the file as wide as their texts want.
    int64_t Measure(std::vector<ExportWriter::Column>& columns) const {
        QString lengths;
        for (const auto& language : languages)
            lengths += QStringLiteral(", max(length(%1))").arg(QuoteIdentifier(language->column));
        SqliteStatement measure(connection_.Handle(),
                                QStringLiteral("SELECT count(*)") + lengths + from_, file_);
        measure.Step();
        columns = {{QStringLiteral("ID"), 10, false, 0}};
        for (size_t i = 0; i < languages.size(); ++i)
            columns.push_back({MLanguageTransfer::LanguageColumn(lcids_[i]),
                               Width(measure.ColumnInt64(static_cast<int>(i) + 1)),
                               i + 1 < languages.size(), lcids_[i]});
        return measure.ColumnInt64(0);
    }

    std::unique_ptr<SqliteStatement> Rows() const {
        QString select = QStringLiteral("SELECT ") + QuoteIdentifier(id_);
        for (const auto& language : languages)
            select += QStringLiteral(", ") + QuoteIdentifier(language->column);
        return std::make_unique<SqliteStatement>(
            connection_.Handle(),
            select + from_ + QStringLiteral(" ORDER BY ") + QuoteIdentifier(id_), file_);
    }

  private:
    SqliteConnection& connection_;
    QString file_;
    QString id_;
    QString from_;
    std::vector<int32_t> lcids_;
};

// The language a format that needs one takes its sources from: German where the
// project has it and it is not the language, else the first other language.
int32_t SourceLanguage(SqliteConnection& connection, const QString& projectFile, int32_t lcid,
                       const QString& outputFile) {
    const auto table = connection.FindTable(kTextTable);
    if (!table) throw RuntimeError::TableNotInFile(kTextTable, projectFile);
    std::optional<int32_t> first;
    for (const QString& column : connection.Columns(*table)) {
        bool ok = false;
        const int32_t other = column.mid(1).toInt(&ok);
        if (!column.startsWith(QLatin1Char('L')) || !ok || other == lcid) continue;
        if (other == 1031) return other;
        if (!first) first = other;
    }
    if (!first)
        throw RuntimeError::NoSourceLanguage(outputFile, MLanguageTransfer::LanguageColumn(lcid));
    return *first;
}

// Writes the rows; the language's own texts that would not come back go to result.
void WriteRows(ExportQuery& query, ExportWriter& writer, int64_t total,
               const MLanguageTransfer::ImportProgress& progress, Result& result) {
    auto rows = query.Rows();
    const size_t count = query.languages.size();
    std::vector<std::optional<QString>> texts(count);
    while (rows->Step()) {
        const double key = rows->Column(0).ToNumber();
        for (size_t i = 0; i < count; ++i) {
            const Variant value = rows->Column(static_cast<int>(i) + 1);
            if (value.IsNull()) {
                texts[i].reset();
                continue;
            }
            const QString text = value.ToText();
            auto restored = query.languages[i]->recoding.Restore(text);
            // The reference is only read; the language's own text must come back.
            if (!restored && i + 1 == count) result.asStored.push_back({key, text});
            texts[i] = restored ? std::move(*restored) : text;
        }
        writer.Row(key, texts);
        ++result.rows;
        if (progress && result.rows % kProgressStep == 0 && !progress(result.rows, total))
            throw RuntimeError::Cancelled();
    }
}

}  // namespace

Result Export(const QString& projectFile, int32_t lcid, const QString& outputFile,
              const Options& options, const MLanguageTransfer::ImportProgress& progress) {
    VectorRegisters::ClearUpperHalves();
    std::unique_ptr<ExportWriter> writer = ExportWriter::ForFile(outputFile);
    auto db = DBEngine::Instance().OpenDatabase(projectFile, /*readOnly=*/true);
    Options chosen = options;
    if (writer->NeedsReference() && !chosen.reference)
        chosen.reference = SourceLanguage(db->Connection(), projectFile, lcid, outputFile);
    ExportQuery query(db->Connection(), projectFile, lcid, chosen);
    ExportWriter::Layout layout;
    layout.project = QFileInfo(projectFile).completeBaseName();
    const int64_t total = query.Measure(layout.columns);
    if (total > writer->MaxRows())
        throw RuntimeError::TooManyRowsForFormat(outputFile, total, writer->MaxRows());

    // The file is written under a name of its own beside the output and renamed
    // over it when complete.
    const QFileInfo output(outputFile);
    if (!output.absoluteDir().exists()) throw RuntimeError::FolderNotFound(output.absolutePath());
    // Its name is the output's after a dot, with 7 bytes for its end.
    QTemporaryFile scratch(output.absolutePath() + QStringLiteral("/.") +
                           FileName::Shortened(output.fileName(), FileName::kMaxBytes - 8) +
                           QStringLiteral(".XXXXXX"));
    if (!scratch.open() || scratch.fileName().isEmpty())
        throw RuntimeError::NotWritable(outputFile);
    scratch.close();

    Result result;
    result.reference = chosen.reference;
    try {
        writer->Begin(scratch.fileName(), outputFile, layout);
        WriteRows(query, *writer, total, progress, result);
        writer->Finish();
        result.omitted = writer->Omitted();
        writer.reset();
    } catch (...) {
        // A writer closes its file when it goes; what it leaves is removed after that.
        writer.reset();
        QFile::remove(scratch.fileName());
        throw;
    }
    db->Close();
    QFile::setPermissions(scratch.fileName(), QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ReadGroup | QFile::ReadOther);
    if (std::rename(QFile::encodeName(scratch.fileName()).constData(),
                    QFile::encodeName(outputFile).constData()) != 0)
        throw RuntimeError::NotWritable(outputFile);
    return result;
}

QString Result::Summary(const QString& outputFile) const {
    return QStringLiteral("%1 nach \u201E%2\u201C exportiert.").arg(TextCount(rows), outputFile);
}

QString Result::Details() const {
    QStringList lines;
    if (!asStored.empty()) {
        const auto count = static_cast<int64_t>(asStored.size());
        lines << QStringLiteral(
                     "%1, wie gespeichert: aus %2 Codepage-Form entsteht kein Text, den ein "
                     "Import unver\u00E4ndert zur\u00FCckbr\u00E4chte:")
                     .arg(count == 1 ? QStringLiteral("1 Text steht")
                                     : GermanNumber(count) + QStringLiteral(" Texte stehen"),
                          count == 1 ? QStringLiteral("seiner") : QStringLiteral("ihrer"));
        for (const auto& stored : asStored)
            lines << QStringLiteral("  ID %1: \u201E%2\u201C")
                         .arg(ShortestDecimal(stored.id), stored.text);
    }
    if (!omitted.empty()) {
        if (!lines.isEmpty()) lines << QString();
        QStringList ids;
        for (const double id : omitted) ids << ShortestDecimal(id);
        lines << QStringLiteral("%1 Steuerzeichen, die XML nicht fasst, und %2 in der Datei: ID %3")
                     .arg(omitted.size() == 1 ? QStringLiteral("1 Text enthält")
                                              : GermanNumber(static_cast<int64_t>(omitted.size())) +
                                                    QStringLiteral(" Texte enthalten"),
                          omitted.size() == 1 ? QStringLiteral("fehlt") : QStringLiteral("fehlen"),
                          ids.join(QStringLiteral(", ")));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace LanguageExport
