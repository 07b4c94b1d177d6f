#include "DBEngine.h"
#include "Database.h"
#include "RuntimeError.h"
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <thread>

namespace {

const QString kImportStatement = QStringLiteral(
    "UPDATE [SELECT TidxTexts.L1031, TidxTemp.L1031 FROM TidxTexts INNER JOIN TidxTemp ON "
    "TidxTexts.ID = "
    "Val(TidxTemp.ID)]. AS Temp SET TidxTexts.L1031 = TidxTemp.L1031;");

class DatabaseTest : public testing::Test {
  protected:
    void SetUp() override {
        DBEngine::Instance().SetLockTimeout(200);
        project = folder.Path(QStringLiteral("Demo.qrp"));
        WriteProject(
            project,
            {{1, "Datei", "File", "Файл"}, {2, "Bearbeiten", "Edit", {}}, {3, {}, {}, {}}});
    }
    TableDef XlsLink(const QString& path) {
        TableDef link(QStringLiteral("TidxTemp"));
        link.SetConnect(QStringLiteral("Excel 5.0;HDR=YES;IMEX=2;DATABASE=") + path);
        link.SetSourceTableName(QStringLiteral("TidxTexts$"));
        return link;
    }
    TempFolder folder;
    QString project;
};

TEST_F(DatabaseTest, OpenNeverCreatesAFile) {
    QString missing = folder.Path(QStringLiteral("fehlt.qrp"));
    try {
        DBEngine::Instance().OpenDatabase(missing);
        ADD_FAILURE() << "opened a missing file";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), ErrorNumber::FileNotFound);
        EXPECT_TRUE(error.Description().contains(missing));
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(DatabaseTest, OpenRejectsFilesThatAreNoDatabase) {
    QString text = folder.Path(QStringLiteral("text.qrp"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    QString empty = folder.Path(QStringLiteral("leer.qrp"));
    QFile(empty).open(QIODevice::WriteOnly);
    QString workbook =
        folder.Copy(QStringLiteral("excel/empty-strings.xls"), QStringLiteral("mappe.qrp"));
    for (const QString& path : {text, empty, workbook}) {
        QByteArray before = FileBytes(path);
        EXPECT_EQ(ErrorNumberOf([&] { DBEngine::Instance().OpenDatabase(path); }),
                  ErrorNumber::UnrecognizedFormat)
            << path.toStdString();
        EXPECT_EQ(FileBytes(path), before) << "untouched";
    }
    EXPECT_EQ(ErrorNumberOf([&] { DBEngine::Instance().OpenDatabase(folder.Path(QString())); }),
              ErrorNumber::CannotOpen)
        << "a folder";
}

TEST_F(DatabaseTest, TableDefsFindTablesWithoutRegardToCase) {
    auto db = DBEngine::Instance().OpenDatabase(project);
    TableDef texts = db->TableDefs().Item(QStringLiteral("tidxtexts"));
    EXPECT_EQ(texts.Name(), QStringLiteral("TidxTexts"));
    EXPECT_EQ(texts.Fields(), QStringList({"ID", "L1031", "L1033", "L1049"}));
    EXPECT_FALSE(texts.IsLink());
    EXPECT_EQ(ErrorNumberOf([&] { db->TableDefs().Item(QStringLiteral("TidxTemp")); }),
              ErrorNumber::ItemNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { db->TableDefs().Delete(QStringLiteral("TidxTemp")); }),
              ErrorNumber::ItemNotFound);
}

TEST_F(DatabaseTest, AppendChecksTheLinkBeforeWritingAnything) {
    auto db = DBEngine::Instance().OpenDatabase(project);
    const QString workbook = folder.Copy(QStringLiteral("excel/wrong-sheet.xls"));
    struct Case {
        const char* what;
        TableDef link;
        int expected;
    };
    TableDef unset(QStringLiteral("TidxTemp"));
    TableDef missingFile = XlsLink(folder.Path(QStringLiteral("fehlt.xls")));
    TableDef missingSheet = XlsLink(workbook);
    TableDef notADatabase(QStringLiteral("TidxTemp"));
    notADatabase.SetConnect(QStringLiteral(";DATABASE=") + workbook);
    notADatabase.SetSourceTableName(QStringLiteral("TidxTexts"));
    TableDef unknownKind(QStringLiteral("TidxTemp"));
    unknownKind.SetConnect(QStringLiteral("dBASE IV;DATABASE=") + workbook);
    unknownKind.SetSourceTableName(QStringLiteral("TidxTexts"));
    for (const auto& c :
         std::vector<Case>{{"unset", unset, ErrorNumber::NoLink},
                           {"missing file", missingFile, ErrorNumber::FileNotFound},
                           {"missing sheet", missingSheet, ErrorNumber::ObjectNotFound},
                           {"not a database", notADatabase, ErrorNumber::UnrecognizedFormat},
                           {"unknown kind", unknownKind, ErrorNumber::IsamNotFound}}) {
        EXPECT_EQ(ErrorNumberOf([&] { db->TableDefs().Append(c.link); }), c.expected) << c.what;
        EXPECT_FALSE(db->TableDefs().Contains(QStringLiteral("TidxTemp"))) << c.what;
    }
    db->Close();
    EXPECT_EQ(TableNames(project), std::vector<QString>({QStringLiteral("TidxTexts")}));
}

TEST_F(DatabaseTest, LinkOutlivesTheConnectionUntilDeleted) {
    const QString workbook = folder.Copy(QStringLiteral("excel/texts-libreoffice.xls"));
    {
        auto db = DBEngine::Instance().OpenDatabase(project);
        db->TableDefs().Append(XlsLink(workbook));
        EXPECT_EQ(ErrorNumberOf([&] { db->TableDefs().Append(XlsLink(workbook)); }),
                  ErrorNumber::ObjectExists);
    }
    auto db = DBEngine::Instance().OpenDatabase(project);
    TableDef link = db->TableDefs().Item(QStringLiteral("TidxTemp"));
    EXPECT_TRUE(link.IsLink());
    EXPECT_EQ(link.SourceTableName(), QStringLiteral("TidxTexts$"));
    EXPECT_EQ(link.Fields(), QStringList({"ID", "L1031", "L1033", "L1049", "Kommentar"}));
    db->TableDefs().Delete(QStringLiteral("TIDXTEMP"));
    EXPECT_FALSE(db->TableDefs().Contains(QStringLiteral("TidxTemp")));
    db->Close();
    EXPECT_EQ(TableNames(project), std::vector<QString>({QStringLiteral("TidxTexts")}))
        << "no catalog left behind";
}

TEST_F(DatabaseTest, LinkPathMayHoldSemicolons) {
    const QString workbook = folder.Copy(QStringLiteral("excel/texts-libreoffice.xls"),
                                         QStringLiteral("a;DATABASE=b.xls"));
    auto db = DBEngine::Instance().OpenDatabase(project);
    db->TableDefs().Append(XlsLink(workbook));
    EXPECT_EQ(db->TableDefs().Item(QStringLiteral("TidxTemp")).Connect(),
              QStringLiteral("Excel 5.0;HDR=YES;IMEX=2;DATABASE=") + workbook);
}

TEST_F(DatabaseTest, ExecuteRunsOnlyTheImportUpdate) {
    auto db = DBEngine::Instance().OpenDatabase(project);
    db->TableDefs().Append(XlsLink(folder.Copy(QStringLiteral("excel/texts-libreoffice.xls"))));
    EXPECT_EQ(ErrorNumberOf([&] { db->Execute(QStringLiteral("DELETE FROM TidxTexts")); }),
              ErrorNumber::InvalidStatement);
    QString missingColumn = kImportStatement;
    missingColumn.replace(QStringLiteral("L1031"), QStringLiteral("L1036"));
    EXPECT_EQ(ErrorNumberOf([&] { db->Execute(missingColumn); }), ErrorNumber::FieldNotFound);
    QString missingTable = kImportStatement;
    missingTable.replace(QStringLiteral("TidxTemp"), QStringLiteral("Fehlt"));
    EXPECT_EQ(ErrorNumberOf([&] { db->Execute(missingTable); }), ErrorNumber::TableNotFound);

    db->Execute(kImportStatement);
    EXPECT_EQ(db->RecordsAffected(), 3);
    db->Close();
    auto texts = ReadColumn(project, QStringLiteral("L1031"));
    EXPECT_EQ(texts[1], Variant("Datei"));
    EXPECT_EQ(texts[3], Variant("Ansicht"));
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1033"))[3], Variant())
        << "other columns untouched";
}

TEST_F(DatabaseTest, AnotherWritersLockIsWaitedForThenReported) {
    DBEngine::Instance().SetLockTimeout(300);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(project).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    auto db = DBEngine::Instance().OpenDatabase(project);  // readers are not blocked
    EXPECT_EQ(ErrorNumberOf([&] { db->BeginTrans(); }), ErrorNumber::Locked);

    DBEngine::Instance().SetLockTimeout(5000);
    auto db2 = DBEngine::Instance().OpenDatabase(project);
    std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    EXPECT_NO_THROW(db2->BeginTrans()) << "a lock released in time is waited for";
    release.join();
    db2->Rollback();
    sqlite3_close(other);
}

}  // namespace
