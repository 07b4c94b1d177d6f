#include "CodePage.h"
#include "DBEngine.h"
#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <random>
#include <set>
#include <thread>

namespace {

using MLanguageTransfer::TransferLanguage;

struct RunResult {
    int exitCode;
    QString output;
};

// Runs the import runner in its own process, optionally as the unprivileged user nobody.
RunResult RunRunner(QStringList arguments, bool asNobody) {
    QProcess runner;
    if (asNobody) {
        runner.setProgram(QStringLiteral("setpriv"));
        arguments =
            QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                        QStringLiteral("--clear-groups"), QStringLiteral(IMPORT_RUNNER_PATH)} +
            arguments;
    } else {
        runner.setProgram(QStringLiteral(IMPORT_RUNNER_PATH));
    }
    runner.setArguments(arguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (asNobody) {
        // The other user keeps its undo store where it may write.
        static QTemporaryDir state;
        QFile::setPermissions(state.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                QFile::ReadOther | QFile::WriteOther |
                                                QFile::ExeOther);
        environment.insert(QStringLiteral("XDG_STATE_HOME"), state.path());
    }
    environment.insert(QStringLiteral("IMPORT_RUNNER_LOCK_TIMEOUT"), QStringLiteral("300"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    runner.setProcessEnvironment(environment);
    runner.start();
    runner.waitForFinished(60000);
    return {runner.exitStatus() == QProcess::NormalExit ? runner.exitCode() : -1,
            QString::fromUtf8(runner.readAllStandardOutput())};
}

RunResult RunImport(const QString& project, int lcid, const QString& source,
                    bool asNobody = false) {
    return RunRunner({project, QString::number(lcid), source}, asNobody);
}

std::vector<ProjectRow> NumberedRows(int count) {
    std::vector<ProjectRow> rows;
    rows.reserve(static_cast<size_t>(count));
    for (int id = 1; id <= count; ++id)
        rows.push_back({id,
                        Variant(QStringLiteral("Text %1").arg(id)),
                        {},
                        Variant(QStringLiteral("старый %1").arg(id))});
    return rows;
}

class HardeningTest : public testing::Test {
  protected:
    void SetUp() override {
        CodePage::SetSystemAnsiCodePage(1252);
        DBEngine::Instance().SetLockTimeout(300);
    }
    void TearDown() override { CodePage::SetSystemAnsiCodePage(std::nullopt); }
    TempFolder folder;
    MessageRecorder messages;
};

TEST_F(HardeningTest, TruncatedProjectIsAClearErrorAndStaysAsItIs) {
    const QString project = folder.Path(QStringLiteral("Kurz.qrp"));
    WriteProject(project, NumberedRows(2000));
    QFile file(project);
    ASSERT_TRUE(file.resize(file.size() / 2));
    const QByteArray before = FileBytes(project);
    EXPECT_FALSE(TransferLanguage(project, 1031,
                                  folder.Copy(QStringLiteral("excel/texts-libreoffice.xls"))));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.contains(project))
        << messages.messages[0].text.toStdString();
    EXPECT_EQ(FileBytes(project), before);
    EXPECT_FALSE(QFileInfo::exists(project + QStringLiteral("-journal")));
}

TEST_F(HardeningTest, TruncatedDatabaseSourceIsAClearErrorAndChangesNothing) {
    const QString project = folder.Path(QStringLiteral("Projekt.qrp"));
    WriteProject(project, NumberedRows(3000));
    const QString source = folder.Path(QStringLiteral("Quelle.mdb"));
    WriteProject(source, NumberedRows(3000));
    QFile file(source);
    ASSERT_TRUE(file.resize(file.size() / 2));
    const QByteArray before = FileBytes(project);
    EXPECT_FALSE(TransferLanguage(project, 1031, source));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.contains(source))
        << messages.messages[0].text.toStdString();
    EXPECT_EQ(FileBytes(project), before);
}

TEST_F(HardeningTest, ReadOnlyProjectFailsBeforeAnythingChanges) {
    const bool root = geteuid() == 0;
    // Root ignores file modes: the import then runs as the unprivileged user nobody.
    QFile::setPermissions(folder.Path(QString()), QFileDevice::Permissions(0x7755));
    const QString source = folder.Copy(QStringLiteral("excel/texts-libreoffice.xls"));

    const QString readOnly = folder.Path(QStringLiteral("Schreibgeschuetzt.qrp"));
    WriteProject(readOnly, NumberedRows(10));
    chmod(QFile::encodeName(readOnly).constData(), 0444);
    const QByteArray before = FileBytes(readOnly);
    RunResult result = RunImport(readOnly, 1031, source, root);
    EXPECT_EQ(result.exitCode, 1) << result.output.toStdString();
    EXPECT_TRUE(
        result.output.startsWith(QStringLiteral("Fehler beim Importieren einer Sprache!\n3051: ")))
        << result.output.toStdString();
    EXPECT_TRUE(result.output.contains(readOnly));
    EXPECT_EQ(FileBytes(readOnly), before);

    // Listing its languages changes nothing, so it works on the read-only project.
    result = RunRunner({QStringLiteral("--languages"), readOnly}, root);
    EXPECT_EQ(result.exitCode, 0) << result.output.toStdString();
    EXPECT_TRUE(result.output.contains(QStringLiteral("\t1031\n"))) << result.output.toStdString();
    EXPECT_EQ(FileBytes(readOnly), before);

    // A writable project in a folder where no journal can be created.
    const QString lockedFolder = folder.Path(QStringLiteral("ordner"));
    QDir().mkpath(lockedFolder);
    const QString project = lockedFolder + QStringLiteral("/Projekt.qrp");
    WriteProject(project, NumberedRows(10));
    chmod(QFile::encodeName(project).constData(), 0666);
    chmod(QFile::encodeName(lockedFolder).constData(), 0555);
    const QByteArray projectBefore = FileBytes(project);
    result = RunImport(project, 1031, source, root);
    chmod(QFile::encodeName(lockedFolder).constData(), 0755);
    EXPECT_EQ(result.exitCode, 1) << result.output.toStdString();
    EXPECT_TRUE(result.output.contains(project)) << result.output.toStdString();
    EXPECT_TRUE(result.output.contains(QStringLiteral("Journaldatei")))
        << result.output.toStdString();
    EXPECT_EQ(FileBytes(project), projectBefore);
    EXPECT_EQ(QDir(lockedFolder).entryList(QDir::Files),
              QStringList({QStringLiteral("Projekt.qrp")}));
}

TEST_F(HardeningTest, FullDiskLeavesTheProjectWhole) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    const QString disk = folder.Path(QStringLiteral("disk"));
    QDir().mkpath(disk);
    if (mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=320k") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    struct Unmount {
        QString path;
        ~Unmount() { umount2(QFile::encodeName(path).constData(), MNT_DETACH); }
    } unmount{disk};

    const QString project = disk + QStringLiteral("/Voll.qrp");
    WriteProject(project, NumberedRows(2000));
    // The source's texts are far longer than the project's: the project must grow.
    const QString source = folder.Path(QStringLiteral("Lang.mdb"));
    std::vector<ProjectRow> longRows;
    for (int id = 1; id <= 2000; ++id)
        longRows.push_back({id, {}, {}, Variant(QString(200, QChar(0x0416)))});
    WriteProject(source, longRows);
    const auto before = ReadColumn(project, QStringLiteral("L1049"));

    EXPECT_FALSE(TransferLanguage(project, 1049, source));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.startsWith(
        QStringLiteral("Fehler beim Importieren einer Sprache!\n3026: ")))
        << messages.messages[0].text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(project + QStringLiteral("-journal")));
    EXPECT_EQ(IntegrityCheck(project), QStringLiteral("ok"));
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1049")), before);
}

TEST_F(HardeningTest, KilledImportsLeaveAllOldOrAllNewTexts) {
    const char* seedText = std::getenv("KILL_TEST_SEED");
    const unsigned seed =
        seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 20261207u;
    RecordProperty("seed", static_cast<int>(seed));
    std::mt19937 random(seed);

    const QString original = folder.Path(QStringLiteral("Original.qrp"));
    WriteProject(original, NumberedRows(30000));
    const QString source = folder.Path(QStringLiteral("Quelle.mdb"));
    std::vector<ProjectRow> newRows;
    for (int id = 1; id <= 30000; ++id)
        newRows.push_back({id, {}, {}, Variant(QStringLiteral("Текст %1").arg(id))});
    WriteProject(source, newRows);

    // One run to the end gives the new texts and how long a run takes.
    const QString project = folder.Path(QStringLiteral("Projekt.qrp"));
    QFile::copy(original, project);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(RunImport(project, 1049, source).exitCode, 0);
    const qint64 runMicroseconds = clock.nsecsElapsed() / 1000;
    const auto newTexts = ReadColumn(project, QStringLiteral("L1049"));
    const auto oldTexts = ReadColumn(original, QStringLiteral("L1049"));
    ASSERT_NE(newTexts, oldTexts);

    // Kills at random moments until enough of them landed while the import's
    // transaction was open (its journal is left behind): those are the kills the
    // test is about. Kills before or after it prove nothing of the kind.
    constexpr int kWanted = 25, kMostRuns = 200;
    int killedWithJournal = 0, endedOld = 0, endedNew = 0, run = 0;
    std::uniform_int_distribution<qint64> moment(0, runMicroseconds);
    for (; run < kMostRuns && killedWithJournal < kWanted; ++run) {
        QFile::remove(project);
        QFile::remove(project + QStringLiteral("-journal"));
        QFile::copy(original, project);
        const qint64 delay = moment(random);
        QProcess runner;
        runner.start(QStringLiteral(IMPORT_RUNNER_PATH), {project, QStringLiteral("1049"), source});
        ASSERT_TRUE(runner.waitForStarted());
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        kill(static_cast<pid_t>(runner.processId()), SIGKILL);
        runner.waitForFinished();
        if (QFileInfo::exists(project + QStringLiteral("-journal"))) ++killedWithJournal;

        ASSERT_EQ(IntegrityCheck(project), QStringLiteral("ok"))
            << "run " << run << ", killed after " << delay << " µs";
        const auto texts = ReadColumn(project, QStringLiteral("L1049"));
        if (texts == oldTexts)
            ++endedOld;
        else if (texts == newTexts)
            ++endedNew;
        else
            FAIL() << "run " << run << " (seed " << seed << ", killed after " << delay
                   << " µs) left a mixed column";
        EXPECT_FALSE(TableNames(project).empty());
    }
    RecordProperty("killed_with_journal", killedWithJournal);
    RecordProperty("ended_old", endedOld);
    RecordProperty("ended_new", endedNew);
    std::printf(
        "%d killed imports (seed %u, run %lld µs): %d with a journal left, %d all old, %d all "
        "new\n",
        run, seed, static_cast<long long>(runMicroseconds), killedWithJournal, endedOld, endedNew);
    ASSERT_GE(killedWithJournal, kWanted)
        << "of " << run << " kills (seed " << seed << ") too few landed inside the transaction";
    EXPECT_GT(endedOld, 0) << "a kill inside the transaction leaves the old texts";
}

}  // namespace
