#include "MLanguageTransfer.h"

#include "CodePage.h"
#include "CodePageConverter.h"
#include "DBEngine.h"
#include "Database.h"
#include "LanguageList.h"
#include "MessageBox.h"
#include "Recordset.h"
#include "RuntimeError.h"
#include "ToolsApp.h"

#include <QRegularExpression>

#include <climits>
#include <memory>
#include <optional>

namespace MLanguageTransfer {
namespace {

const QString kTextTable = QStringLiteral("TidxTexts");
const QString kLinkName = QStringLiteral("TidxTemp");

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

bool TransferLanguage(const QString& projectFile, int32_t lcid, const QString& sourceFile) {
    const QString column = LanguageColumn(lcid);
    std::unique_ptr<Database> db;
    std::optional<RuntimeError> openFailure;
    try {
        db = DBEngine::Instance().OpenDatabase(projectFile);
        // The whole import is one transaction, so a failure at any step leaves the
        // project as it was. Taking the write lock first makes a project that another
        // program holds fail once, after the lock timeout, before anything is read.
        db->BeginTrans();
    } catch (...) {
        openFailure = RuntimeError::FromCurrentException();
        db.reset();
    }
    // A link left behind by an aborted import goes first; its absence is the normal case.
    if (db) {
        try {
            db->TableDefs().Delete(kLinkName);
        } catch (...) {
        }
    }

    try {
        // Without an open project there is nothing to import into; say why it could not be opened.
        if (!db) throw *openFailure;

        TableDef link = db->CreateTableDef(kLinkName);
        const QString extension = SourceExtension(sourceFile);
        if (extension == QLatin1String("qrp") || extension == QLatin1String("mdb")) {
            link.SetConnect(QStringLiteral(";DATABASE=") + sourceFile);
            link.SetSourceTableName(kTextTable);
        } else if (extension == QLatin1String("xls")) {
            link.SetConnect(QStringLiteral("Excel 5.0;HDR=YES;IMEX=2;DATABASE=") + sourceFile);
            link.SetSourceTableName(QStringLiteral("TidxTexts$"));
        } else {
            throw RuntimeError::UnknownSourceKind(sourceFile);
        }
        db->TableDefs().Append(link);
        db->Execute(UpdateStatementFor(column));
        db->TableDefs().Delete(kLinkName);

        const QString recodeExtension = SourceExtension(sourceFile);
        if (recodeExtension == QLatin1String("xls") || recodeExtension == QLatin1String("mdb"))
            RecodeLanguageTexts(*db, lcid, db->ChangedRows());

        db->CommitTrans();
        db->Close();
        return true;
    } catch (...) {
        const RuntimeError error = RuntimeError::FromCurrentException();
        if (db) db->Close();  // rolls back what the transaction holds
        ReportFailure(error.Number(), error.Description());
    }
    return false;
}

void RecodeLanguageTexts(Database& database, int32_t lcid, const std::vector<int64_t>& rows) {
    const int languagePage = CodePage::DefaultAnsiCodePage(lcid);
    if (languagePage == 0 || rows.empty()) return;
    CodePageConverter language(languagePage);
    CodePageConverter system(CodePage::SystemAnsiCodePage());
    const QString column = LanguageColumn(lcid);

    auto texts = database.OpenRecordset(kTextTable, rows);
    texts->MoveFirst();
    while (!texts->Eof()) {
        Variant value = texts->Value(column);
        if (!value.IsNull()) {
            const QString text = value.ToText();
            if (!text.isEmpty()) {
                const QByteArray bytes = language.Encode(text);
                const QString converted =
                    system.Decode(bytes.constData(), static_cast<size_t>(bytes.size()));
                // A text that converts to itself (German on a Western system) needs no write.
                if (converted != text) {
                    texts->Edit();
                    texts->SetValue(column, converted);
                    texts->Update();
                }
            }
        }
        texts->MoveNext();
    }
    texts->Close();
}

}  // namespace MLanguageTransfer
