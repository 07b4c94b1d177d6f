#include "TranslationLint.h"

#include "DBEngine.h"
#include "Database.h"
#include "LanguageRecoding.h"
#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

namespace TranslationLint {
namespace {

// A stored text in its real characters, as UTF-8.
QByteArray RealCharacters(LanguageRecoding& recoding, const Variant& stored) {
    if (stored.IsNull()) return {};
    const QString text = stored.ToText();
    return recoding.Restore(text).value_or(text).toUtf8();
}

}  // namespace

Result Lint(const QString& projectFile, int32_t lcid, std::optional<int32_t> reference) {
    auto db = DBEngine::Instance().OpenDatabase(projectFile, /*readOnly=*/true);
    Result result;
    result.reference = MLanguageTransfer::ReferenceLanguage(*db, lcid, reference);
    const QString table = db->TableDefs().Item(QStringLiteral("TidxTexts")).Name();
    const QString column = MLanguageTransfer::LanguageColumn(lcid);
    if (!db->TableDefs().Item(table).Fields().contains(column, Qt::CaseInsensitive))
        throw RuntimeError::ColumnMissing(column, table, projectFile);
    if (!result.reference) return result;
    SqliteStatement rows(
        db->Connection().Handle(),
        QStringLiteral("SELECT ID, %1, %2 FROM %3 WHERE ID IS NOT NULL ORDER BY ID")
            .arg(QuoteIdentifier(MLanguageTransfer::LanguageColumn(*result.reference)),
                 QuoteIdentifier(column), QuoteIdentifier(table)),
        projectFile);
    LanguageRecoding referenceRecoding(*result.reference), recoding(lcid);
    const bool greek = (lcid & 0x3FF) == 0x08;
    while (rows.Step()) {
        ++result.texts;
        const QByteArray original = RealCharacters(referenceRecoding, rows.Column(1));
        const QByteArray text = RealCharacters(recoding, rows.Column(2));
        for (const auto check : TranslationChecks::Compare(
                 {original.constData(), static_cast<size_t>(original.size())},
                 {text.constData(), static_cast<size_t>(text.size())}, greek))
            result.findings.push_back({0, rows.Column(0).ToNumber(), check,
                                       QString::fromUtf8(original), QString::fromUtf8(text)});
    }
    db->Close();
    return result;
}

}  // namespace TranslationLint
