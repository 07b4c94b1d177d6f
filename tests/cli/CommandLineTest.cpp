#include "CliRun.h"
#include "CodePage.h"
#include "MLanguageTransfer.h"
#include "RegistryFixture.h"
#include "TestSupport.h"
#include "UndoStore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

class CommandLineTest : public testing::Test {
  protected:
    void SetUp() override {
        CodePage::SetSystemAnsiCodePage(1252);
        QDir().mkpath(folder.Path(QStringLiteral("Demo")));
        project = folder.Path(QStringLiteral("Demo/Demo.qrp"));
        WriteProject(
            project,
            {{1, "Datei", {}, "alt"}, {2, "Bearbeiten", {}, "alt"}, {3, "Ansicht", {}, "alt"}});
        registry.Register(QStringLiteral("Demo"), QStringLiteral("Single"),
                          folder.Path(QStringLiteral("Demo")));
        source = folder.Path(QStringLiteral("Quelle.qrp"));
        RunSql(source, QStringLiteral("CREATE TABLE TidxTexts(ID, L1049); INSERT INTO TidxTexts "
                                      "VALUES (1, 'Файл'), (2, 'Правка'), (3, 'Вид')"));
        withFindings = folder.Path(QStringLiteral("Fehler.qrp"));
        RunSql(withFindings, QStringLiteral("CREATE TABLE TidxTexts(ID, L1049); INSERT INTO "
                                            "TidxTexts VALUES (1, 'eins'), ('  1', 'noch eins'), "
                                            "(99, 'fehlt'), ('abc', 'ohne Zahl')"));
    }
    void TearDown() override { CodePage::SetSystemAnsiCodePage(std::nullopt); }

    TempFolder folder;
    ScopedRegistryStore registry{folder.Path(QStringLiteral("config"))};
    QString project, source, withFindings;
};

TEST_F(CommandLineTest, HelpVersionAndUsageErrors) {
    CliRun help = Cli({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command : {"projects", "languages", "check", "import", "undo"})
        EXPECT_TRUE(help.out.contains(QStringLiteral("  %1 ").arg(QLatin1String(command))));
    EXPECT_TRUE(help.out.contains(QStringLiteral("Rückgabewerte:")));
    CliRun importHelp = Cli({QStringLiteral("import"), QStringLiteral("--help")});
    EXPECT_EQ(importHelp.exitCode, 0);
    EXPECT_TRUE(importHelp.out.contains(QStringLiteral("--strict")));
    EXPECT_EQ(Cli({QStringLiteral("--version")}).out, QStringLiteral("quorvin-language 1.0\n"));

    EXPECT_EQ(Cli({}).exitCode, 2);
    CliRun unknown = Cli({QStringLiteral("exportieren")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("Unbekannter Befehl")));
    CliRun option = Cli({QStringLiteral("check"), project, QStringLiteral("1049"), source,
                         QStringLiteral("--strict")});
    EXPECT_EQ(option.exitCode, 2) << "check has no --strict";
    EXPECT_EQ(Cli({QStringLiteral("import"), project}).exitCode, 2);
    CliRun noProject = Cli({QStringLiteral("languages"), QStringLiteral("Unbekannt")});
    EXPECT_EQ(noProject.exitCode, 2);
    EXPECT_TRUE(noProject.err.contains(QStringLiteral("weder eine Projektdatei")));
}

TEST_F(CommandLineTest, ProjectsAreListedAndMissingOnesOnlyMarked) {
    registry.Register(QStringLiteral("Weg"), QStringLiteral("Single"),
                      folder.Path(QStringLiteral("nirgends")));
    const QByteArray before = registry.Contents();
    CliRun text = Cli({QStringLiteral("projects")});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_TRUE(text.out.contains(QStringLiteral("Demo\tSingle\t") + folder.Path("Demo") + "\n"));
    EXPECT_TRUE(text.out.contains(QStringLiteral("Weg\tSingle\t%1\t(Datei fehlt)\n")
                                      .arg(folder.Path(QStringLiteral("nirgends")))));
    const QJsonArray projects = Cli({QStringLiteral("projects"), QStringLiteral("--json")})
                                    .Json()[QStringLiteral("projects")]
                                    .toArray();
    ASSERT_EQ(projects.size(), 2);
    EXPECT_EQ(projects[0][QStringLiteral("file")].toString(), project);
    EXPECT_FALSE(projects[0][QStringLiteral("missing")].toBool());
    EXPECT_TRUE(projects[1][QStringLiteral("missing")].toBool());
    EXPECT_EQ(registry.Contents(), before) << "the command line removes no registration";

    // A registered project whose file is gone fails as an operation.
    CliRun gone = Cli({QStringLiteral("languages"), QStringLiteral("Weg")});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_TRUE(gone.err.startsWith(QStringLiteral("Fehler 3024: "))) << gone.err.toStdString();
}

TEST_F(CommandLineTest, LanguagesOfANamedOrGivenProject) {
    const QJsonObject json =
        Cli({QStringLiteral("languages"), QStringLiteral("demo"), QStringLiteral("--json")}).Json();
    EXPECT_EQ(json[QStringLiteral("project")].toString(), project);
    const QJsonArray languages = json[QStringLiteral("languages")].toArray();
    ASSERT_EQ(languages.size(), 3);
    EXPECT_EQ(languages[2][QStringLiteral("lcid")].toInt(), 1049);
    EXPECT_EQ(languages[2][QStringLiteral("column")].toString(), QStringLiteral("L1049"));
    CliRun byPath = Cli({QStringLiteral("languages"), project});
    EXPECT_EQ(byPath.exitCode, 0);
    EXPECT_TRUE(byPath.out.contains(QStringLiteral("1049\tL1049\t")));

    const QByteArray before = FileBytes(project);
    CliRun french =
        Cli({QStringLiteral("import"), QStringLiteral("Demo"), QStringLiteral("L1036"), source});
    EXPECT_EQ(french.exitCode, 2);
    EXPECT_TRUE(french.err.contains(QStringLiteral("[1031]"))) << "names the languages it has";
    EXPECT_EQ(FileBytes(project), before);
}

TEST_F(CommandLineTest, ListsLongerThanMemoryKeepsAreWrittenWhole) {
    // 6,000 rows whose IDs the project lacks, in the file's order and shuffled.
    for (const bool shuffled : {false, true}) {
        SCOPED_TRACE(shuffled ? "shuffled" : "in order");
        std::vector<int> ids(6000);
        for (int i = 0; i < 6000; ++i) ids[static_cast<size_t>(i)] = 1000 + i;
        if (shuffled) std::reverse(ids.begin(), ids.end());
        QByteArray rows = "ID,L1049\n";
        for (const int id : ids) rows += QByteArray::number(id) + ",x\n";
        const QString csv = folder.Path(QStringLiteral("Viele.csv"));
        QFile file(csv);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(rows);
        file.close();
        CliRun check = Cli({QStringLiteral("check"), QStringLiteral("Demo"), QStringLiteral("1049"),
                            csv, QStringLiteral("--json")});
        const QJsonObject json = check.Json();
        EXPECT_EQ(json[QStringLiteral("counts")].toObject()[QStringLiteral("unmatched")].toInt(),
                  6000);
        const QJsonArray unmatched = json[QStringLiteral("unmatched")].toArray();
        ASSERT_EQ(unmatched.size(), 6000);
        for (const qsizetype at : {qsizetype{0}, qsizetype{4096}, qsizetype{5999}}) {
            EXPECT_EQ(unmatched[at][QStringLiteral("row")].toInt(), at + 1)
                << "in the file's order";
            EXPECT_EQ(unmatched[at][QStringLiteral("id")].toString(),
                      QString::number(ids[static_cast<size_t>(at)]));
        }
    }
}

TEST_F(CommandLineTest, CheckReportsWithoutWriting) {
    const QByteArray before = FileBytes(project);
    CliRun check = Cli({QStringLiteral("check"), QStringLiteral("Demo"), QStringLiteral("1049"),
                        withFindings, QStringLiteral("--json")});
    EXPECT_EQ(check.exitCode, 3);
    const QJsonObject json = check.Json();
    EXPECT_FALSE(json[QStringLiteral("written")].toBool());
    EXPECT_EQ(json[QStringLiteral("language")].toString(), QStringLiteral("L1049"));
    const QJsonObject counts = json[QStringLiteral("counts")].toObject();
    EXPECT_EQ(counts[QStringLiteral("sourceRows")].toInt(), 4);
    EXPECT_EQ(counts[QStringLiteral("matched")].toInt(), 1);
    EXPECT_EQ(counts[QStringLiteral("unmatched")].toInt(), 2) << "99, and \"abc\" without a row 0";
    EXPECT_EQ(counts[QStringLiteral("duplicates")].toInt(), 1);
    EXPECT_EQ(json[QStringLiteral("unmatched")].toArray()[1][QStringLiteral("id")].toString(),
              QStringLiteral("abc"));
    // The rows without a number are written entry by entry in their place.
    const QJsonArray noNumber = json[QStringLiteral("noNumber")].toArray();
    ASSERT_EQ(noNumber.size(), 1);
    EXPECT_EQ(noNumber[0][QStringLiteral("row")].toInt(), 4);
    EXPECT_EQ(noNumber[0][QStringLiteral("id")].toString(), QStringLiteral("abc"));
    EXPECT_FALSE(noNumber[0][QStringLiteral("applied")].toBool()) << "the project has no row 0";
    const QJsonObject duplicate = json[QStringLiteral("duplicates")].toArray()[0].toObject();
    EXPECT_EQ(duplicate[QStringLiteral("winner")].toInt(), 2);
    EXPECT_EQ(duplicate[QStringLiteral("rows")].toArray()[1][QStringLiteral("id")].toString(),
              QStringLiteral("  1"));
    EXPECT_FALSE(json.contains(QStringLiteral("error")));
    EXPECT_EQ(FileBytes(project), before);

    CliRun clean = Cli({QStringLiteral("check"), project, QStringLiteral("1049"), source});
    EXPECT_EQ(clean.exitCode, 0);
    EXPECT_TRUE(
        clean.out.startsWith(QStringLiteral("Vorschau, nichts geschrieben: 3 Texte "
                                            "geändert.")));
    EXPECT_EQ(FileBytes(project), before);
}

TEST_F(CommandLineTest, ImportStrictAndItsFailures) {
    const QByteArray before = FileBytes(project);
    CliRun strict = Cli({QStringLiteral("import"), QStringLiteral("Demo"), QStringLiteral("1049"),
                         withFindings, QStringLiteral("--strict"), QStringLiteral("--json")});
    EXPECT_EQ(strict.exitCode, 3);
    EXPECT_FALSE(strict.Json()[QStringLiteral("written")].toBool());
    EXPECT_EQ(FileBytes(project), before);

    CliRun missing = Cli({QStringLiteral("import"), QStringLiteral("Demo"), QStringLiteral("1049"),
                          folder.Path(QStringLiteral("fehlt.xls")), QStringLiteral("--json")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.startsWith(QStringLiteral("Fehler 3024: ")));
    EXPECT_EQ(missing.Json()[QStringLiteral("error")][QStringLiteral("number")].toInt(), 3024);
    EXPECT_EQ(FileBytes(project), before);
    EXPECT_TRUE(UndoStore::List(project).empty()) << "a failed import keeps no undo data";

    CliRun done = Cli(
        {QStringLiteral("import"), QStringLiteral("Demo"), QStringLiteral("1049"), withFindings});
    EXPECT_EQ(done.exitCode, 0) << "findings do not stop an import without --strict";
    EXPECT_TRUE(done.err.isEmpty()) << "no progress on a pipe";
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1049"))[1], Variant("noch eins"));
    EXPECT_TRUE(done.out.contains(QStringLiteral("IDs mehrfach in der Quelle (1):")));
}

TEST_F(CommandLineTest, UndoPutsBackWhatTheLastImportChanged) {
    EXPECT_EQ(Cli({QStringLiteral("undo"), QStringLiteral("Demo")}).exitCode, 1)
        << "nothing to undo yet";
    // One import from the window's core, one from the command line.
    ASSERT_TRUE(MLanguageTransfer::TransferLanguage(project, 1049, source));
    RunSql(source, QStringLiteral("UPDATE TidxTexts SET L1049 = L1049 || '!'"));
    const CliRun imported = Cli({QStringLiteral("import"), QStringLiteral("Demo"),
                                 QStringLiteral("1049"), source, QStringLiteral("--json")});
    ASSERT_EQ(imported.exitCode, 0);
    const QJsonObject report = imported.Json();
    EXPECT_TRUE(report[QStringLiteral("written")].toBool());
    EXPECT_EQ(report[QStringLiteral("counts")][QStringLiteral("changed")].toInt(), 3);
    EXPECT_EQ(report[QStringLiteral("source")].toString(), source);
    // A text changed by hand since the last import is a conflict.
    RunSql(project, QStringLiteral("UPDATE TidxTexts SET L1049 = 'von Hand' WHERE ID = 2"));
    const QJsonObject listed = Cli({QStringLiteral("undo"), QStringLiteral("Demo"),
                                    QStringLiteral("--list"), QStringLiteral("--json")})
                                   .Json();
    ASSERT_EQ(listed[QStringLiteral("imports")].toArray().size(), 2);
    EXPECT_EQ(listed[QStringLiteral("imports")].toArray()[0][QStringLiteral("rows")].toInt(), 3);
    EXPECT_GT(listed[QStringLiteral("imports")].toArray()[0][QStringLiteral("bytes")].toInt(), 0);
    EXPECT_GE(listed[QStringLiteral("storeBytes")].toInteger(),
              listed[QStringLiteral("imports")].toArray()[0][QStringLiteral("bytes")].toInteger());
    EXPECT_EQ(listed[QStringLiteral("limitBytes")].toInteger(), qint64{1} << 30);
    const QString shown =
        Cli({QStringLiteral("undo"), QStringLiteral("Demo"), QStringLiteral("--list")}).out;
    EXPECT_TRUE(shown.contains(QStringLiteral(" von höchstens 1.024 MB"))) << shown.toStdString();
    // A small import's size in kilobytes, not "0,0 MB".
    EXPECT_TRUE(shown.contains(QRegularExpression(QStringLiteral("\t3 Texte\t[1-9][0-9]* KB\n"))))
        << shown.toStdString();

    CliRun undo = Cli({QStringLiteral("undo"), QStringLiteral("Demo"), QStringLiteral("--json")});
    EXPECT_EQ(undo.exitCode, 3);
    const QJsonObject result = undo.Json();
    EXPECT_EQ(result[QStringLiteral("reverted")].toInt(), 2);
    const QJsonArray conflicts = result[QStringLiteral("conflicts")].toArray();
    ASSERT_EQ(conflicts.size(), 1);
    EXPECT_EQ(conflicts[0][QStringLiteral("id")].toString(), QStringLiteral("2"));
    EXPECT_EQ(conflicts[0][QStringLiteral("current")].toString(), QStringLiteral("von Hand"));
    auto texts = ReadColumn(project, QStringLiteral("L1049"));
    EXPECT_EQ(texts[1], Variant(QStringLiteral("Файл"))) << "a .qrp source is copied as it is";
    EXPECT_EQ(texts[2], Variant("von Hand"));

    // The next undo takes back the window's import, also the row changed by hand when forced.
    CliRun forced = Cli({QStringLiteral("undo"), project, QStringLiteral("--force")});
    EXPECT_EQ(forced.exitCode, 0) << forced.err.toStdString();
    texts = ReadColumn(project, QStringLiteral("L1049"));
    for (int64_t id : {1, 2, 3}) EXPECT_EQ(texts[id], Variant("alt")) << id;
    CliRun list = Cli({QStringLiteral("undo"), QStringLiteral("Demo"), QStringLiteral("--list")});
    EXPECT_EQ(list.out.count(QStringLiteral("zurückgenommen")), 2);
    EXPECT_EQ(Cli({QStringLiteral("undo"), QStringLiteral("Demo")}).exitCode, 1);
}

TEST_F(CommandLineTest, TheStoreKeepsTwentyImportsAndIsNeverOverwritten) {
    for (int i = 0; i < 21; ++i) {
        RunSql(source, QStringLiteral("UPDATE TidxTexts SET L1049 = 'Runde %1'").arg(i));
        ASSERT_TRUE(MLanguageTransfer::TransferLanguage(project, 1049, source));
    }
    EXPECT_EQ(UndoStore::List(project).size(), 20u);

    // A damaged store: the import fails before anything changes, and the file stays.
    const QString store = UndoStore::PathFor(project);
    {
        QFile file(store);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(4096, 'x'));
    }
    const QByteArray damaged = FileBytes(store);
    const QByteArray before = FileBytes(project);
    CliRun failed = Cli(
        {QStringLiteral("import"), QStringLiteral("Demo"), QStringLiteral("1049"), withFindings});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.err.contains(QStringLiteral("beschädigt"))) << failed.err.toStdString();
    EXPECT_EQ(FileBytes(project), before);
    EXPECT_EQ(FileBytes(store), damaged);
    QFile::remove(store);

    // A database of another kind where the store should be is not written either.
    RunSql(store, QStringLiteral("CREATE TABLE fremd(x); INSERT INTO fremd VALUES (1)"));
    const QByteArray foreign = FileBytes(store);
    CliRun other = Cli(
        {QStringLiteral("import"), QStringLiteral("Demo"), QStringLiteral("1049"), withFindings});
    EXPECT_EQ(other.exitCode, 1);
    EXPECT_TRUE(other.err.contains(QStringLiteral("unbekanntes Format")))
        << other.err.toStdString();
    EXPECT_EQ(FileBytes(store), foreign);
    EXPECT_EQ(FileBytes(project), before);
    QFile::remove(store);

    // A store that cannot be written: the import fails the same way.
    QFile::remove(store);
    QDir().mkpath(store);  // a folder where the file would be
    CliRun unwritable = Cli(
        {QStringLiteral("import"), QStringLiteral("Demo"), QStringLiteral("1049"), withFindings});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_TRUE(unwritable.err.contains(QStringLiteral("Rückgängig-Daten")));
    EXPECT_EQ(FileBytes(project), before);
    QDir(store).removeRecursively();
}

TEST_F(CommandLineTest, ALongImportShowsItsProgressOnATerminal) {
    RunSql(project, QStringLiteral("DELETE FROM TidxTexts; WITH RECURSIVE n(i) AS (SELECT 1 "
                                   "UNION ALL SELECT i + 1 FROM n WHERE i < 2000000) INSERT INTO "
                                   "TidxTexts(ID, L1049) SELECT i, 'alt' FROM n"));
    const QString large = folder.Path(QStringLiteral("Gross.mdb"));
    // In descending order, so that the import sorts them too: it lasts well over
    // the second after which the progress shows (a million rows took about one).
    RunSql(large, QStringLiteral("CREATE TABLE TidxTexts(ID, L1049); WITH RECURSIVE n(i) AS "
                                 "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000000) "
                                 "INSERT INTO TidxTexts SELECT 2000001 - i, 'neuer Text Nummer ' "
                                 "|| i FROM n"));
    // script(1) gives the command a terminal and copies what it writes there.
    const QString command = QStringLiteral("'%1' import '%2' 1049 '%3'")
                                .arg(QStringLiteral(QUORVIN_LANGUAGE_PATH), project, large);
    QProcess terminal;
    terminal.start(QStringLiteral("script"),
                   {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")});
    ASSERT_TRUE(terminal.waitForFinished(120000));
    EXPECT_EQ(terminal.exitCode(), 0);
    const QString shown = QString::fromUtf8(terminal.readAllStandardOutput());
    EXPECT_TRUE(shown.contains(QStringLiteral(" von 2.000.000 Zeilen")))
        << shown.left(300).toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("Importiere \u2026 ")));
    EXPECT_TRUE(shown.contains(QStringLiteral("2.000.000 Texte geändert.")));
}

// In every journal mode of the project: the undo store is written on its own
// connection, so the guarantee does not rest on SQLite committing attached files
// atomically, which it does in rollback-journal mode only.
TEST_F(CommandLineTest, AKilledImportLeavesNoUndoEntryAndACommittedOneHasIt) {
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    for (const char* mode : {"DELETE", "WAL"}) {
        SCOPED_TRACE(mode);
        std::vector<ProjectRow> rows;
        for (int64_t id = 1; id <= 30000; ++id) rows.push_back({id, {}, {}, "alt"});
        QFile::remove(project);
        QFile::remove(UndoStore::PathFor(project));
        WriteProject(project, rows);
        RunSql(project, QStringLiteral("PRAGMA journal_mode = %1").arg(QLatin1String(mode)));
        const QString large = folder.Path(QStringLiteral("Gross.qrp"));
        QFile::remove(large);
        RunSql(large, QStringLiteral("CREATE TABLE TidxTexts(ID, L1049); WITH RECURSIVE n(i) AS "
                                     "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 30000) "
                                     "INSERT INTO TidxTexts SELECT i, 'neu ' || i FROM n"));
        for (int round = 0; round < 8; ++round) {
            RunSql(large,
                   QStringLiteral("UPDATE TidxTexts SET L1049 = 'Runde %1 ' || ID").arg(round));
            const size_t kept = UndoStore::List(project).size();
            QProcess process;
            process.start(QStringLiteral(QUORVIN_LANGUAGE_PATH),
                          {QStringLiteral("import"), project, QStringLiteral("1049"), large});
            process.waitForStarted();
            QThread::msleep(random.bounded(20, 400));
            process.kill();
            process.waitForFinished();
            // Opening the project as the next import does rolls back what the killed one left.
            EXPECT_EQ(IntegrityCheck(project), QStringLiteral("ok"));
            const auto texts = ReadColumn(project, QStringLiteral("L1049"));
            const bool imported =
                texts.at(30000) == Variant(QStringLiteral("Runde %1 30000").arg(round));
            const auto entries = UndoStore::List(project);
            ASSERT_EQ(entries.size(), kept + (imported ? 1 : 0)) << round;
            if (imported) {
                EXPECT_EQ(entries.front().rows, 30000) << round;
            }
            EXPECT_EQ(texts.at(1) == Variant(QStringLiteral("Runde %1 1").arg(round)), imported)
                << "all old or all new texts";
        }
    }
}

}  // namespace

namespace {

// Lists longer than a report keeps in memory (every text loses characters and
// fails a check) come out whole in JSON, in their order, and itemized up to
// their limit in the text report.
TEST_F(CommandLineTest, LongReportListsComeOutWhole) {
    constexpr int kTexts = 10000;
    std::vector<ProjectRow> rows;
    for (int64_t id = 1; id <= kTexts; ++id) rows.push_back({id, "Datei %1", {}, "alt"});
    const QString large = folder.Path(QStringLiteral("Gross.qrp"));
    WriteProject(large, rows);
    const QString lossy = folder.Path(QStringLiteral("Verlustig.mdb"));
    RunSql(lossy, QStringLiteral("CREATE TABLE TidxTexts(ID, L1049); WITH RECURSIVE n(i) AS "
                                 "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) INSERT "
                                 "INTO TidxTexts SELECT i, 'Größe ' || i FROM n")
                      .arg(kTexts));
    CliRun json = Cli(
        {QStringLiteral("check"), large, QStringLiteral("1049"), lossy, QStringLiteral("--json")});
    EXPECT_EQ(json.exitCode, 3) << json.err.toStdString();
    const QJsonObject report = json.Json();
    const QJsonArray lost = report[QStringLiteral("lossy")].toArray();
    const QJsonArray checks = report[QStringLiteral("checks")].toArray();
    ASSERT_EQ(lost.size(), kTexts);
    ASSERT_EQ(checks.size(), kTexts);
    EXPECT_EQ(report[QStringLiteral("counts")][QStringLiteral("lossy")].toInt(), kTexts);
    EXPECT_EQ(report[QStringLiteral("counts")][QStringLiteral("checkErrors")].toInt(), kTexts);
    for (const int i : {0, kTexts / 2, kTexts - 1}) {
        const QJsonObject text = lost[i].toObject();
        EXPECT_EQ(text[QStringLiteral("id")].toString(), QString::number(i + 1));
        EXPECT_EQ(text[QStringLiteral("characters")][0][QStringLiteral("codePoint")].toString(),
                  QStringLiteral("U+00F6"));
        EXPECT_EQ(checks[i][QStringLiteral("id")].toString(), QString::number(i + 1));
        EXPECT_EQ(checks[i][QStringLiteral("text")].toString(),
                  QStringLiteral("Größe %1").arg(i + 1));
    }

    CliRun text = Cli({QStringLiteral("check"), large, QStringLiteral("1049"), lossy});
    EXPECT_TRUE(text.out.contains(
        QStringLiteral("Texte mit Zeichen, die die Codepage nicht kennt (10.000):")));
    EXPECT_TRUE(text.out.contains(QStringLiteral("  ID 1000: ")));
    EXPECT_FALSE(text.out.contains(QStringLiteral("  ID 1001: ")));
    EXPECT_EQ(text.out.count(QStringLiteral("  und 9.000 weitere")), 2)
        << "the lost characters and the errors, each after its first 1,000";
    EXPECT_TRUE(text.out.contains(QStringLiteral("10.000 Texte mit Fehlern (Platzhalter)")))
        << text.out.left(600).toStdString();
}

TEST_F(CommandLineTest, ExportWritesTheLanguageForTranslators) {
    RunSql(project, QStringLiteral("UPDATE TidxTexts SET L1049 = 'Ôàéë' WHERE ID = 1; "
                                   "UPDATE TidxTexts SET L1049 = 'Выход' WHERE ID = 2; "
                                   "UPDATE TidxTexts SET L1049 = NULL WHERE ID = 3"));
    const QByteArray before = FileBytes(project);
    const QString output = folder.Path(QStringLiteral("ru.csv"));
    CliRun all = Cli({QStringLiteral("export"), QStringLiteral("Demo"), QStringLiteral("L1049"),
                      output, QStringLiteral("--reference=1031")});
    EXPECT_EQ(all.exitCode, 3) << "real Cyrillic is no Russian code-page form";
    EXPECT_TRUE(all.out.startsWith(QStringLiteral("3 Texte nach „%1“ exportiert.").arg(output)))
        << all.out.toStdString();
    EXPECT_TRUE(all.out.contains(QStringLiteral("1 Text steht, wie gespeichert")));
    EXPECT_TRUE(all.out.contains(QStringLiteral("  ID 2: „Выход“")));
    EXPECT_EQ(FileBytes(output), QByteArray("\xEF\xBB\xBFID,L1031,L1049\r\n1,Datei,Файл\r\n"
                                            "2,Bearbeiten,Выход\r\n3,Ansicht,\r\n"));
    EXPECT_EQ(FileBytes(project), before) << "the project is only read";

    CliRun missing = Cli({QStringLiteral("export"), project, QStringLiteral("1049"),
                          folder.Path(QStringLiteral("fehlt.xlsx")),
                          QStringLiteral("--missing-only"), QStringLiteral("--json")});
    EXPECT_EQ(missing.exitCode, 0) << missing.err.toStdString();
    EXPECT_EQ(missing.Json()[QStringLiteral("rows")].toInt(), 1);
    EXPECT_TRUE(missing.Json()[QStringLiteral("asStored")].toArray().isEmpty());

    for (const QStringList& wrong :
         {QStringList{QStringLiteral("export"), QStringLiteral("Demo"), QStringLiteral("1049"),
                      folder.Path(QStringLiteral("ru.txt"))},
          QStringList{QStringLiteral("export"), QStringLiteral("Demo"), QStringLiteral("1049"),
                      output, QStringLiteral("--reference")},
          QStringList{QStringLiteral("export"), QStringLiteral("Demo"), QStringLiteral("1049"),
                      output, QStringLiteral("--reference"), QStringLiteral("1036")},
          QStringList{QStringLiteral("export"), QStringLiteral("Demo"), QStringLiteral("1049"),
                      output, QStringLiteral("--reference=L1049")}}) {
        CliRun usage = Cli(wrong);
        EXPECT_EQ(usage.exitCode, 2) << wrong.join(u' ').toStdString();
        EXPECT_FALSE(usage.err.isEmpty());
    }
    CliRun failed = Cli({QStringLiteral("export"), QStringLiteral("Demo"), QStringLiteral("1049"),
                         folder.Path(QStringLiteral("kein/Ordner.xls"))});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err, QStringLiteral("Fehler 3024: Der Ordner '%1' existiert nicht.\n")
                              .arg(folder.Path(QStringLiteral("kein"))));
}

}  // namespace
