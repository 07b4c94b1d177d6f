#include "LanguageExport.h"

#include "DBEngine.h"
#include "Database.h"
#include "ExportWriter.h"
#include "LanguageRecoding.h"
#include "RuntimeError.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

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

// One language column of the export: its stored name and its conversion back.
struct Language {
    QString column;
    LanguageRecoding recoding;
    Language(QString name, int32_t lcid) : column(std::move(name)), recoding(lcid) {}
};

}  // namespace

Result Export(const QString& projectFile, int32_t lcid, const QString& outputFile,
              const Options& options, const MLanguageTransfer::ImportProgress& progress) {
    std::unique_ptr<ExportWriter> writer = ExportWriter::ForFile(outputFile);
    auto db = DBEngine::Instance().OpenDatabase(projectFile, /*readOnly=*/true);
    SqliteConnection& connection = db->Connection();
    const auto table = connection.FindTable(kTextTable);
    if (!table) throw RuntimeError::TableNotInFile(kTextTable, projectFile);
    const QStringList stored = connection.Columns(*table);
    const QString id = StoredColumn(stored, QStringLiteral("ID"), *table, projectFile);

    std::vector<std::unique_ptr<Language>> languages;
    if (options.reference)
        languages.push_back(std::make_unique<Language>(
            StoredColumn(stored, MLanguageTransfer::LanguageColumn(*options.reference), *table,
                         projectFile),
            *options.reference));
    languages.push_back(std::make_unique<Language>(
        StoredColumn(stored, MLanguageTransfer::LanguageColumn(lcid), *table, projectFile), lcid));
    const QString target = QuoteIdentifier(languages.back()->column);

    QString where = QStringLiteral(" WHERE %1 IS NOT NULL").arg(QuoteIdentifier(id));
    if (options.missingOnly) where += QStringLiteral(" AND (%1 IS NULL OR %1 = '')").arg(target);
    QString select, lengths;
    for (const auto& language : languages) {
        select += QStringLiteral(", ") + QuoteIdentifier(language->column);
        lengths += QStringLiteral(", max(length(%1))").arg(QuoteIdentifier(language->column));
    }
    const QString from = QStringLiteral(" FROM ") + QuoteIdentifier(*table) + where;

    SqliteStatement measure(connection.Handle(), QStringLiteral("SELECT count(*)") + lengths + from,
                            projectFile);
    measure.Step();
    const int64_t total = measure.ColumnInt64(0);
    if (total > writer->MaxRows())
        throw RuntimeError::TooManyRowsForFormat(outputFile, total, writer->MaxRows());
    std::vector<ExportWriter::Column> columns{{QStringLiteral("ID"), 10, false}};
    for (size_t i = 0; i < languages.size(); ++i)
        columns.push_back(
            {MLanguageTransfer::LanguageColumn(i + 1 < languages.size() ? *options.reference
                                                                        : lcid),
             Width(measure.ColumnInt64(static_cast<int>(i) + 1)), i + 1 < languages.size()});

    // The file is written under a name of its own beside the output and renamed
    // over it when complete.
    const QFileInfo output(outputFile);
    if (!output.absoluteDir().exists()) throw RuntimeError::FolderNotFound(output.absolutePath());
    QTemporaryFile scratch(output.absolutePath() + QStringLiteral("/.") + output.fileName() +
                           QStringLiteral(".XXXXXX"));
    if (!scratch.open()) throw RuntimeError::NotWritable(outputFile);
    scratch.close();

    Result result;
    try {
        writer->Begin(scratch.fileName(), outputFile, columns);
        SqliteStatement rows(connection.Handle(),
                             QStringLiteral("SELECT ") + QuoteIdentifier(id) + select + from +
                                 QStringLiteral(" ORDER BY ") + QuoteIdentifier(id),
                             projectFile);
        std::vector<std::optional<QString>> texts(languages.size());
        while (rows.Step()) {
            const double key = rows.Column(0).ToNumber();
            for (size_t i = 0; i < languages.size(); ++i) {
                const Variant value = rows.Column(static_cast<int>(i) + 1);
                if (value.IsNull()) {
                    texts[i].reset();
                    continue;
                }
                const QString text = value.ToText();
                auto restored = languages[i]->recoding.Restore(text);
                // The reference is only read; the language's own text must come back.
                if (!restored && i + 1 == languages.size()) result.asStored.push_back({key, text});
                texts[i] = restored ? std::move(*restored) : text;
            }
            writer->Row(key, texts);
            ++result.rows;
            if (progress && result.rows % kProgressStep == 0 && !progress(result.rows, total))
                throw RuntimeError::Cancelled();
        }
        writer->Finish();
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

}  // namespace LanguageExport
