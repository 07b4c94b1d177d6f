#include "CodePage.h"
#include "DBEngine.h"
#include "FaultVfs.h"
#include "MLanguageTransfer.h"
#include "TestSupport.h"
#include "UndoStore.h"

#include <QFile>

#include <limits>

#include <gtest/gtest.h>

namespace {

// Every write, sync and truncate of a real import fails once in turn (and, in
// the persistent runs, every one after it): the import must say so and leave
// the project whole and as it was.
struct FaultCase {
    const char* name;
    const char* source;  // a test data file, or "" for a generated database file
    const char* extension;
    FaultVfs::Failure failure;
    bool persist;
    bool wal = false;  // the project in write-ahead-log mode, as another program may leave it
};

class WriteFaultTest : public testing::TestWithParam<FaultCase> {
  protected:
    void SetUp() override {
        FaultVfs::Install();
        CodePage::SetSystemAnsiCodePage(1252);
        DBEngine::Instance().SetLockTimeout(200);
        original = folder.Path(QStringLiteral("Original.qrp"));
        std::vector<ProjectRow> rows;
        for (int id = 0; id <= 400; ++id)
            rows.push_back({id,
                            Variant(QStringLiteral("alt %1").arg(id)),
                            {},
                            Variant(QStringLiteral("старый %1").arg(id))});
        WriteProject(original, rows);
    }
    void TearDown() override {
        FaultVfs::Disarm();
        CodePage::SetSystemAnsiCodePage(std::nullopt);
    }

    // The project as each run begins with it.
    void PrepareOriginal(const FaultCase& c) {
        if (c.wal) RunSql(original, QStringLiteral("PRAGMA journal_mode = WAL"));
    }

    QString Source(const FaultCase& c) {
        const QString path = folder.Path(QStringLiteral("Quelle.") + c.extension);
        if (*c.source)
            return folder.Copy(QString::fromLatin1(c.source), QFileInfo(path).fileName());
        std::vector<ProjectRow> rows;
        for (int id = 1; id <= 400; id += 2)
            rows.push_back({id,
                            Variant(QStringLiteral("neu %1").arg(id)),
                            {},
                            Variant(QStringLiteral("Текст номер %1 – ∞").arg(id))});
        WriteProject(path, rows);
        return path;
    }

    TempFolder folder;
    QString original;
};

TEST_P(WriteFaultTest, EveryFailingWriteLeavesTheProjectAsItWas) {
    const FaultCase& c = GetParam();
    PrepareOriginal(c);
    const QString source = Source(c);
    const QString project = folder.Path(QStringLiteral("Projekt.qrp"));
    const int lcid = 1049;
    const auto before = ReadColumn(original, QStringLiteral("L1049"));
    const auto tablesBefore = TableNames(original);

    int failures = 0;
    for (int n = 1;; ++n) {
        ASSERT_LT(n, 1000) << "the import never finished";
        QFile::remove(project);
        for (const char* left : {"-journal", "-wal", "-shm"})
            QFile::remove(project + QLatin1String(left));
        ASSERT_TRUE(QFile::copy(original, project));
        MessageRecorder messages;
        FaultVfs::Arm(n, c.failure, c.persist);
        const bool imported = MLanguageTransfer::TransferLanguage(project, lcid, source);
        const bool fired = FaultVfs::Fired();
        FaultVfs::Disarm();
        if (!fired) {
            // n is past the import's last write: it ran through.
            EXPECT_TRUE(imported);
            EXPECT_TRUE(messages.messages.empty()) << messages.messages.front().text.toStdString();
            EXPECT_NE(ReadColumn(project, QStringLiteral("L1049")), before);
            break;
        }
        ++failures;
        if (imported) {
            // The write failed after the project committed, marking the undo
            // record complete: the import is done, and its record, left pending,
            // is settled by the project's texts and kept.
            EXPECT_TRUE(messages.messages.empty()) << "write " << n;
            EXPECT_NE(ReadColumn(project, QStringLiteral("L1049")), before) << "write " << n;
            ASSERT_EQ(UndoStore::List(project).size(), 1u) << "write " << n;
            EXPECT_GT(UndoStore::List(project)[0].rows, 0) << "write " << n;
            QFile::remove(UndoStore::PathFor(project));
            continue;
        }
        ASSERT_EQ(messages.messages.size(), 1u) << "write " << n;
        EXPECT_TRUE(messages.messages[0].text.startsWith(
            QStringLiteral("Fehler beim Importieren einer Sprache!\n")))
            << messages.messages[0].text.toStdString();
        if (c.failure == FaultVfs::Failure::DiskFull) {
            EXPECT_TRUE(messages.messages[0].text.contains(QStringLiteral("\n3026: ")))
                << "write " << n << ": " << messages.messages[0].text.toStdString();
        }
        // Reopening rolls back a journal that the failure left behind.
        EXPECT_EQ(IntegrityCheck(project), QStringLiteral("ok")) << "write " << n;
        EXPECT_EQ(ReadColumn(project, QStringLiteral("L1049")), before) << "write " << n;
        EXPECT_EQ(TableNames(project), tablesBefore) << "write " << n;
        EXPECT_TRUE(UndoStore::List(project).empty()) << "write " << n << ": no undo data kept";
        if (testing::Test::HasFailure()) break;
    }
    EXPECT_GT(failures, 3) << "an import writes more than that";
    std::printf("%s: %d writes, syncs and truncates failed in turn\n", c.name, failures);
}

INSTANTIATE_TEST_SUITE_P(
    Imports, WriteFaultTest,
    testing::Values(
        FaultCase{"qrp_full", "", "qrp", FaultVfs::Failure::DiskFull, false},
        FaultCase{"qrp_ioerror_persisting", "", "qrp", FaultVfs::Failure::IoError, true},
        FaultCase{"xls_full", "excel/texts-libreoffice.xls", "xls", FaultVfs::Failure::DiskFull,
                  false},
        FaultCase{"xls_ioerror", "excel/texts-libreoffice.xls", "xls", FaultVfs::Failure::IoError,
                  false},
        FaultCase{"mdb_full_persisting", "", "mdb", FaultVfs::Failure::DiskFull, true},
        FaultCase{"mdb_ioerror", "", "mdb", FaultVfs::Failure::IoError, false},
        FaultCase{"qrp_wal_full", "", "qrp", FaultVfs::Failure::DiskFull, false, true},
        FaultCase{"qrp_wal_ioerror", "", "qrp", FaultVfs::Failure::IoError, false, true}),
    [](const testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.name); });

// A disk that fills up in the middle of a large import, whose undo data is
// written beside the update, fails whichever write comes first: the update's
// or the undo store's. The import says so and leaves nothing behind.
TEST(WriteFaultMidImport, TheProjectAndTheStoreStayAsTheyWere) {
    FaultVfs::Install();
    CodePage::SetSystemAnsiCodePage(1252);
    TempFolder folder;
    const QString original = folder.Path(QStringLiteral("Gross.qrp"));
    const QString source = folder.Path(QStringLiteral("Quelle.mdb"));
    std::vector<ProjectRow> rows, sourceRows;
    const QString text = QString(450, u'ж');
    for (int id = 1; id <= 3000; ++id) {
        rows.push_back({id, Variant(QStringLiteral("alt %1").arg(id)), {}, Variant()});
        sourceRows.push_back({id, Variant(), {}, Variant(text + QString::number(id))});
    }
    WriteProject(original, rows);
    WriteProject(source, sourceRows);
    const auto before = ReadColumn(original, QStringLiteral("L1049"));
    const QString project = folder.Path(QStringLiteral("Projekt.qrp"));

    // How many writes, syncs and truncates the whole import makes.
    ASSERT_TRUE(QFile::copy(original, project));
    FaultVfs::Arm(std::numeric_limits<int>::max(), FaultVfs::Failure::DiskFull, false);
    ASSERT_TRUE(MLanguageTransfer::TransferLanguage(project, 1049, source));
    const int operations = FaultVfs::Operations();
    FaultVfs::Disarm();
    ASSERT_GE(
        UndoStore::List(project).front().lastChunk - UndoStore::List(project).front().firstChunk, 2)
        << "the undo data fills several chunks";
    QFile::remove(UndoStore::PathFor(project));

    for (const int percent : {20, 40, 60}) {
        SCOPED_TRACE(percent);
        QFile::remove(project);
        QFile::remove(project + QStringLiteral("-journal"));
        ASSERT_TRUE(QFile::copy(original, project));
        MessageRecorder messages;
        FaultVfs::Arm(operations * percent / 100, FaultVfs::Failure::DiskFull, true);
        const bool imported = MLanguageTransfer::TransferLanguage(project, 1049, source);
        FaultVfs::Disarm();
        EXPECT_FALSE(imported);
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_TRUE(messages.messages[0].text.contains(QStringLiteral("\n3026: ")))
            << messages.messages[0].text.toStdString();
        EXPECT_EQ(IntegrityCheck(project), QStringLiteral("ok"));
        EXPECT_EQ(ReadColumn(project, QStringLiteral("L1049")), before);
        EXPECT_TRUE(UndoStore::List(project).empty()) << "no undo data kept";
    }
    CodePage::SetSystemAnsiCodePage(std::nullopt);
}

}  // namespace
