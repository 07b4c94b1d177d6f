#include "CodePage.h"
#include "DBEngine.h"
#include "FaultVfs.h"
#include "MLanguageTransfer.h"
#include "TestSupport.h"

#include <QFile>

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
    const QString source = Source(c);
    const QString project = folder.Path(QStringLiteral("Projekt.qrp"));
    const int lcid = 1049;
    const auto before = ReadColumn(original, QStringLiteral("L1049"));
    const auto tablesBefore = TableNames(original);

    int failures = 0;
    for (int n = 1;; ++n) {
        ASSERT_LT(n, 1000) << "the import never finished";
        QFile::remove(project);
        QFile::remove(project + QStringLiteral("-journal"));
        ASSERT_TRUE(QFile::copy(original, project));
        MessageRecorder messages;
        FaultVfs::Arm(n, c.failure, c.persist);
        const bool imported = MLanguageTransfer::TransferLanguage(project, lcid, source);
        const bool fired = FaultVfs::Fired();
        FaultVfs::Disarm();
        if (!fired) {
            // n is past the import's last write: it ran through.
            EXPECT_TRUE(imported);
            EXPECT_TRUE(messages.messages.empty());
            EXPECT_NE(ReadColumn(project, QStringLiteral("L1049")), before);
            break;
        }
        ++failures;
        EXPECT_FALSE(imported) << "write " << n;
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
        if (testing::Test::HasFailure()) break;
    }
    EXPECT_GT(failures, 3) << "an import writes more than that";
    std::printf("%s: %d writes, syncs and truncates failed in turn\n", c.name, failures);
}

INSTANTIATE_TEST_SUITE_P(
    Imports, WriteFaultTest,
    testing::Values(FaultCase{"qrp_full", "", "qrp", FaultVfs::Failure::DiskFull, false},
                    FaultCase{"qrp_ioerror_persisting", "", "qrp", FaultVfs::Failure::IoError,
                              true},
                    FaultCase{"xls_full", "excel/texts-libreoffice.xls", "xls",
                              FaultVfs::Failure::DiskFull, false},
                    FaultCase{"xls_ioerror", "excel/texts-libreoffice.xls", "xls",
                              FaultVfs::Failure::IoError, false},
                    FaultCase{"mdb_full_persisting", "", "mdb", FaultVfs::Failure::DiskFull, true},
                    FaultCase{"mdb_ioerror", "", "mdb", FaultVfs::Failure::IoError, false}),
    [](const testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.name); });

}  // namespace
