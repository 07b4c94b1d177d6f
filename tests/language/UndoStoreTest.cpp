#include "DBEngine.h"
#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "TestSupport.h"
#include "UndoStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <gtest/gtest.h>
#include <cstring>
#include <functional>
#include <limits>
#include <set>
#include <string>

namespace {

using MLanguageTransfer::TransferLanguage;

class UndoStoreTest : public testing::Test {
  protected:
    void SetUp() override { DBEngine::Instance().SetLockTimeout(200); }

    // A project of rows 1..count with "alt <id>" in L1049, and a source giving
    // each row text + id.
    QString Project(const QString& name, int count = 50) {
        const QString path = folder.Path(name + QStringLiteral(".qrp"));
        std::vector<ProjectRow> rows;
        for (int id = 1; id <= count; ++id)
            rows.push_back({id, {}, {}, Variant(QStringLiteral("alt %1").arg(id))});
        WriteProject(path, rows);
        return path;
    }
    QString Source(const QString& name, const QString& text, int count = 50) {
        const QString path = folder.Path(name + QStringLiteral(".mdb"));
        QFile::remove(path);
        RunSql(path, QStringLiteral("CREATE TABLE TidxTexts(ID, L1049); WITH RECURSIVE n(i) AS "
                                    "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) INSERT "
                                    "INTO TidxTexts SELECT i, '%2' || i FROM n")
                         .arg(count)
                         .arg(text));
        return path;
    }
    static QString Store(const QString& project) { return UndoStore::PathFor(project); }

    TempFolder folder;
    MessageRecorder messages;
};

// An import or undo killed between the commits of store and project leaves its
// record unfinished; the next use of the store settles it by the project's texts.
struct Interrupted {
    const char* name;
    int state;             // 0: the import's record was pending, 2: an undo was under way
    bool projectHoldsNew;  // the project as the import left it, or as it was before
    bool witnessChanged;   // the text the store checks first was changed by hand since
    size_t entries;        // the imports listed afterwards
    bool undone;
};

class SettleTest : public UndoStoreTest, public testing::WithParamInterface<Interrupted> {};

TEST_P(SettleTest, RecordsLeftUnfinishedAreSettledByTheProjectsTexts) {
    const Interrupted& c = GetParam();
    const QString project = Project(QStringLiteral("Projekt"));
    const QString before = folder.Path(QStringLiteral("vorher.qrp"));
    ASSERT_TRUE(QFile::copy(project, before));
    ASSERT_TRUE(TransferLanguage(project, 1049, Source(QStringLiteral("Quelle"), "neu ")));
    ASSERT_EQ(UndoStore::List(project).size(), 1u);

    RunSql(Store(project), QStringLiteral("UPDATE undo_imports SET state = %1").arg(c.state));
    if (!c.projectHoldsNew) {
        QFile::remove(project);
        ASSERT_TRUE(QFile::copy(before, project));
    }
    if (c.witnessChanged)
        RunSql(project, QStringLiteral("UPDATE TidxTexts SET L1049 = 'von Hand' WHERE rowid = "
                                       "(SELECT max(rowid) FROM TidxTexts)"));
    const auto entries = UndoStore::List(project);
    ASSERT_EQ(entries.size(), c.entries);
    if (!entries.empty()) {
        EXPECT_EQ(entries[0].undone, c.undone);
    }
    // Settling changes no text.
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1049"))[1],
              Variant(c.projectHoldsNew ? "neu 1" : "alt 1"));
}

INSTANTIATE_TEST_SUITE_P(
    UndoStore, SettleTest,
    testing::Values(Interrupted{"import_not_committed", 0, false, false, 0, false},
                    Interrupted{"import_committed", 0, true, false, 1, false},
                    Interrupted{"import_committed_witness_changed", 0, true, true, 1, false},
                    Interrupted{"import_not_committed_witness_changed", 0, false, true, 0, false},
                    Interrupted{"undo_not_committed", 2, true, false, 1, false},
                    Interrupted{"undo_committed", 2, false, false, 1, true}),
    [](const testing::TestParamInfo<Interrupted>& param) { return std::string(param.param.name); });

TEST_F(UndoStoreTest, ImportsIntoDifferentProjectsDoNotWaitForEachOther) {
    const QString a = Project(QStringLiteral("A")), b = Project(QStringLiteral("B"));
    ASSERT_TRUE(TransferLanguage(a, 1049, Source(QStringLiteral("Q1"), "eins ")));
    // Another import holds project A's store for writing.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(Store(a)).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    EXPECT_TRUE(TransferLanguage(b, 1049, Source(QStringLiteral("Q2"), "zwei ")));
    EXPECT_EQ(ReadColumn(b, QStringLiteral("L1049"))[7], Variant("zwei 7"));
    EXPECT_EQ(UndoStore::List(b).size(), 1u);
    EXPECT_TRUE(messages.messages.empty());

    // An import into A itself waits for its store, and fails with nothing changed.
    EXPECT_FALSE(TransferLanguage(a, 1049, Source(QStringLiteral("Q3"), "drei ")));
    EXPECT_EQ(ReadColumn(a, QStringLiteral("L1049"))[7], Variant("eins 7"));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(TransferLanguage(a, 1049, Source(QStringLiteral("Q3"), "drei ")));
    EXPECT_EQ(UndoStore::List(a).size(), 2u);
}

// A store's file name is made from the project's; the longest project names
// SQLite can write (its journal's name, 8 bytes longer, within the file system's
// 255) must still give stores that can be made, each its own.
TEST_F(UndoStoreTest, ProjectsWithTheLongestFileNamesKeepTheirUndoData) {
    const struct {
        const char* what;
        QString name;
    } cases[] = {
        {"short", QStringLiteral("Anlage")},
        {"ASCII, 243 bytes", QString(242, QLatin1Char('x')) + QLatin1Char('A')},
        {"same start", QString(242, QLatin1Char('x')) + QLatin1Char('B')},
        {"umlauts, 242 bytes", QString(121, QChar(0x00E4))},
        {"four-byte characters",
         QString::fromUtf8("\xF0\x9F\x98\x80").repeated(60) + QStringLiteral("ab")},
    };
    std::set<QString> stores;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString project = Project(c.name);
        ASSERT_TRUE(QFileInfo::exists(project));
        ASSERT_TRUE(TransferLanguage(project, 1049, Source(QStringLiteral("Quelle"), "neu ")));
        const QString store = QFileInfo(Store(project)).fileName();
        EXPECT_LE(store.toUtf8().size(), 255 - 20) << "room for the journal";
        EXPECT_TRUE(store.isValidUtf16()) << "no character cut in half";
        EXPECT_TRUE(stores.insert(store).second) << "a store of its own";
        ASSERT_EQ(UndoStore::List(project).size(), 1u);
        EXPECT_EQ(UndoStore::UndoLast(project, false).reverted, 50);
        EXPECT_EQ(ReadColumn(project, QStringLiteral("L1049"))[1], Variant("alt 1"));
    }
    // Names that fit stay as they are, so that stores made before keep being found.
    EXPECT_TRUE(QFileInfo(Store(folder.Path(QStringLiteral("Anlage.qrp"))))
                    .fileName()
                    .startsWith(QStringLiteral("Anlage-")));
}

class LimitTest : public UndoStoreTest {
  protected:
    void SetUp() override {
        UndoStoreTest::SetUp();
        qputenv("QUORVIN_UNDO_LIMIT_MB", "1");
    }
    void TearDown() override { qunsetenv("QUORVIN_UNDO_LIMIT_MB"); }
    // About 0.2 to 0.4 MB of changes: 300 texts of 600 characters, new and old.
    bool ImportLong(const QString& project, const QString& text) {
        return TransferLanguage(
            project, 1049,
            Source(QStringLiteral("Lang"),
                   QStringLiteral("%1 ").arg(text) + QString(600, QLatin1Char('x')), 300));
    }
    static int64_t AllStores() {
        int64_t total = 0;
        for (const QFileInfo& file :
             QDir(QFileInfo(UndoStore::PathFor(QStringLiteral("x"))).absolutePath())
                 .entryInfoList({QStringLiteral("*.db")}, QDir::Files))
            total += file.size();
        return total;
    }
};

TEST_F(LimitTest, AllStoresKeepToTheirLimitTheOldestImportsGoingFirst) {
    QDir(QFileInfo(UndoStore::PathFor(QStringLiteral("x"))).absolutePath()).removeRecursively();
    EXPECT_EQ(UndoStore::LimitBytes(), int64_t{1} << 20);
    const QString a = Project(QStringLiteral("A"), 300), b = Project(QStringLiteral("B"), 300);
    // Imports into two projects, in this order, together well over the limit.
    for (const auto& [project, text] :
         {std::pair{a, "a1"}, {a, "a2"}, {b, "b1"}, {b, "b2"}, {b, "b3"}}) {
        ASSERT_TRUE(ImportLong(project, QString::fromLatin1(text)));
        EXPECT_LE(AllStores(), UndoStore::LimitBytes()) << "after " << text;
    }
    const auto listedA = UndoStore::List(a), listedB = UndoStore::List(b);
    ASSERT_EQ(listedA.size(), 2u) << "the entries stay, to say why they cannot be undone";
    ASSERT_EQ(listedB.size(), 3u);
    // Oldest first, across the projects: a1, a2, b1, b2, b3.
    const std::vector<UndoStore::Entry> byAge{listedA[1], listedA[0], listedB[2], listedB[1],
                                              listedB[0]};
    EXPECT_TRUE(byAge[0].dropped && byAge[1].dropped) << "A's imports are the oldest";
    EXPECT_FALSE(byAge[4].dropped) << "never the import just made";
    for (size_t i = 1; i < byAge.size(); ++i)
        EXPECT_TRUE(!byAge[i].dropped || byAge[i - 1].dropped) << "import " << i;
    for (const auto& entry : byAge) EXPECT_EQ(entry.dropped, entry.bytes == 0);

    // An undo of a dropped import says why, and changes nothing.
    const Variant before = ReadColumn(a, QStringLiteral("L1049"))[1];
    try {
        UndoStore::UndoLast(a, false);
        ADD_FAILURE() << "undo of a dropped import";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), ErrorNumber::NoCurrentRecord);
        EXPECT_TRUE(error.Description().contains(QStringLiteral("nicht mehr zurücknehmen")))
            << error.Description().toStdString();
        EXPECT_TRUE(error.Description().contains(QStringLiteral("1 MB")));
    }
    EXPECT_EQ(ReadColumn(a, QStringLiteral("L1049"))[1], before);
    // B's last import is still there to undo.
    EXPECT_EQ(UndoStore::UndoLast(b, false).reverted, 300);
}

TEST_F(LimitTest, TheLimitIsReadAsMegabytesAndNeverOverflows) {
    constexpr int64_t kDefault = UndoStore::kDefaultLimitMiB << 20;
    constexpr int64_t kLargest = std::numeric_limits<int64_t>::max() >> 20 << 20;
    const struct {
        const char* setting;
        int64_t bytes;
    } cases[] = {
        {"1", int64_t{1} << 20},
        {" 2048 ", int64_t{2048} << 20},
        {"0", kDefault},
        {"-5", kDefault},
        {"viel", kDefault},
        {"2GB", kDefault},
        {"", kDefault},
        // Shifted as they stand, these would wrap to a negative limit that drops
        // the undo data of every project.
        {"9000000000000", kLargest},
        {"9223372036854775807", kLargest},
        {"99999999999999999999999", kLargest},
    };
    for (const auto& [setting, bytes] : cases) {
        qputenv("QUORVIN_UNDO_LIMIT_MB", setting);
        EXPECT_EQ(UndoStore::LimitBytes(), bytes) << "QUORVIN_UNDO_LIMIT_MB=" << setting;
    }
    // With a huge limit an import keeps its data, and the import before it too.
    qputenv("QUORVIN_UNDO_LIMIT_MB", "9000000000000");
    const QString a = Project(QStringLiteral("Unbegrenzt"), 300);
    ASSERT_TRUE(ImportLong(a, QStringLiteral("u1")));
    ASSERT_TRUE(ImportLong(a, QStringLiteral("u2")));
    const auto listed = UndoStore::List(a);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_FALSE(listed[0].dropped || listed[1].dropped);
}

TEST_F(LimitTest, AnImportLargerThanTheLimitIsKeptAlone) {
    const QString a = Project(QStringLiteral("Gross"), 1500);
    ASSERT_TRUE(TransferLanguage(
        a, 1049,
        Source(QStringLiteral("Gross"), QString(900, QLatin1Char('y')), 1500)));  // ~1.4 MB
    const auto listed = UndoStore::List(a);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_FALSE(listed[0].dropped);
    EXPECT_GT(UndoStore::SizesFor(a).project, UndoStore::LimitBytes());
    EXPECT_EQ(UndoStore::UndoLast(a, false).reverted, 1500);
    // Undone, its changes are of no more use: the store gives their space back.
    EXPECT_LE(UndoStore::SizesFor(a).project, 4 * 65536) << "its 64 KiB pages of bookkeeping only";
}

// A pragma's number of a database file.
int64_t PragmaOf(const QString& path, const char* pragma) {
    sqlite3* db = nullptr;
    int64_t value = -1;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        const std::string sql = std::string("PRAGMA ") + pragma;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            value = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return value;
}

// Beyond the last 20 imports the oldest go; their room serves the next import,
// so a store that imports of the same size pass through stops growing. Smaller
// imports after them leave a little more room each time: the file is not
// shrunk after each (moving pages costs about as much as writing them), only
// once more than another import's room is free.
TEST_F(UndoStoreTest, ThePagesOfImportsThatWentServeTheNextOnes) {
    const QString project = Project(QStringLiteral("Kreis"), 200);
    auto import = [&](int round, int length) {
        return TransferLanguage(
            project, 1049,
            Source(QStringLiteral("Q"), QStringLiteral("%1 ").arg(round) + QString(length, u'z'),
                   200));
    };
    std::vector<int64_t> sizes;
    for (int round = 0; round < 26; ++round) {
        ASSERT_TRUE(import(round, 1500));
        sizes.push_back(QFileInfo(Store(project)).size());
    }
    // Chunks of a megabyte are written in large pages, and freed pages can go back.
    EXPECT_EQ(PragmaOf(Store(project), "page_size"), 65536);
    EXPECT_EQ(PragmaOf(Store(project), "auto_vacuum"), 2) << "incremental";
    const auto entries = UndoStore::List(project);
    ASSERT_EQ(entries.size(), 20u);
    int64_t kept = 0;
    for (const auto& entry : entries) kept += entry.bytes;
    // One import's room kept free (two at most), and 64 KiB pages of bookkeeping.
    EXPECT_LE(sizes.back(), kept + 2 * entries.front().bytes + 8 * 65536);
    EXPECT_LE(sizes.back(), sizes[sizes.size() - 3]) << "no longer growing";

    const int64_t full = sizes.back();
    int unchanged = 0;
    for (int round = 100; round < 120; ++round) {
        ASSERT_TRUE(import(round, 300));
        const int64_t size = QFileInfo(Store(project)).size();
        EXPECT_LE(size, sizes.back() + 2 * 65536) << "round " << round << ": never growing";
        unchanged += size == sizes.back() ? 1 : 0;
        sizes.push_back(size);
    }
    EXPECT_GE(unchanged, 5) << "not shrunk after each smaller import";
    EXPECT_LT(sizes.back(), full / 2) << "the room of the larger imports went back";
    EXPECT_EQ(IntegrityCheck(Store(project)), QStringLiteral("ok"));
    EXPECT_EQ(UndoStore::UndoLast(project, false).reverted, 200);
}

// An import whose changes fill several chunks of the store, the last one part
// full: each chunk reads back whole, and the undo puts back every text.
TEST_F(UndoStoreTest, AnImportOfSeveralChunksIsTakenBackWhole) {
    constexpr int kRows = 3000;
    const QString project = Project(QStringLiteral("Gross"), kRows);
    const QString text = QString(450, u'ж') + QStringLiteral(" Nr. ");
    ASSERT_TRUE(TransferLanguage(project, 1049, Source(QStringLiteral("Q"), text, kRows)));
    const auto entries = UndoStore::List(project);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries.front().rows, kRows);
    EXPECT_GT(entries.front().bytes, 2 << 20);
    EXPECT_GE(entries.front().lastChunk - entries.front().firstChunk, 2) << "three chunks or more";
    EXPECT_EQ(IntegrityCheck(Store(project)), QStringLiteral("ok"));

    const auto result = UndoStore::UndoLast(project, false);
    EXPECT_TRUE(result.conflicts.empty());
    EXPECT_EQ(result.reverted, kRows);
    const auto texts = ReadColumn(project, QStringLiteral("L1049"));
    for (int id : {1, 1234, 2345, kRows})
        EXPECT_EQ(texts.at(id), Variant(QStringLiteral("alt %1").arg(id))) << id;
}

// One change as the stores of earlier versions kept it: row, key, old and new
// text, each text as type 3, a 4-byte length and its bytes.
QByteArray OldChange(int64_t row, double key, const QByteArray& old, const QByteArray& now) {
    QByteArray entry;
    auto raw = [&](const void* bytes, size_t size) {
        entry.append(static_cast<const char*>(bytes), static_cast<qsizetype>(size));
    };
    raw(&row, sizeof row);
    raw(&key, sizeof key);
    for (const QByteArray* text : {&old, &now}) {
        entry.append(char(3));
        const auto size = static_cast<uint32_t>(text->size());
        raw(&size, sizeof size);
        entry.append(*text);
    }
    return entry;
}

TEST_F(UndoStoreTest, TheStoreThatAllProjectsSharedHandsEachProjectItsImports) {
    const QString project = Project(QStringLiteral("Alt"), 3);
    RunSql(project, QStringLiteral("UPDATE TidxTexts SET L1049 = 'neu ' || ID"));
    const QString shared = QFileInfo(QFileInfo(Store(project)).absolutePath()).absolutePath() +
                           QStringLiteral("/undo.db");
    QDir().mkpath(QFileInfo(shared).absolutePath());
    QFile::remove(shared);
    QFile::remove(Store(project));
    RunSql(shared,
           QStringLiteral("CREATE TABLE undo_imports(id INTEGER PRIMARY KEY, project TEXT NOT "
                          "NULL, time TEXT NOT NULL, lcid INTEGER NOT NULL, column TEXT NOT NULL, "
                          "source TEXT NOT NULL, rows INTEGER NOT NULL DEFAULT 0, undone INTEGER "
                          "NOT NULL DEFAULT 0, first_chunk INTEGER NOT NULL DEFAULT 0, last_chunk "
                          "INTEGER NOT NULL DEFAULT -1); CREATE TABLE undo_chunks(seq INTEGER "
                          "PRIMARY KEY, import INTEGER NOT NULL, data BLOB NOT NULL); PRAGMA "
                          "user_version = 1; INSERT INTO undo_imports VALUES (1, '%1', "
                          "'2026-11-30T10:00:00Z', 1049, 'L1049', '/q.xls', 3, 0, 1, 1), (2, "
                          "'/anderes/Projekt.qrp', '2026-11-30T11:00:00Z', 1049, 'L1049', "
                          "'/q.xls', 1, 0, 2, 2)")
               .arg(QFileInfo(project).canonicalFilePath()));
    QByteArray chunk;
    for (int64_t id = 1; id <= 3; ++id)
        chunk += OldChange(id, static_cast<double>(id), QByteArray("alt ") + QByteArray::number(id),
                           QByteArray("neu ") + QByteArray::number(id));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(shared).constData(), &db), SQLITE_OK);
    sqlite3_stmt* add = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO undo_chunks VALUES (?1, ?2, ?3)", -1, &add, nullptr);
    for (int seq : {1, 2}) {
        sqlite3_bind_int(add, 1, seq);
        sqlite3_bind_int(add, 2, seq);
        sqlite3_bind_blob(add, 3, chunk.constData(), static_cast<int>(chunk.size()),
                          SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(add), SQLITE_DONE);
        sqlite3_reset(add);
    }
    sqlite3_finalize(add);
    sqlite3_close(db);

    // The first import into the project moves its imports into its own store.
    ASSERT_TRUE(TransferLanguage(project, 1049, Source(QStringLiteral("Q"), "neuer ", 3)));
    const auto entries = UndoStore::List(project);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].time, QStringLiteral("2026-11-30T10:00:00Z"));
    EXPECT_EQ(entries[1].rows, 3);
    EXPECT_TRUE(QFileInfo::exists(shared)) << "the other project's import stays there";
    EXPECT_EQ(UndoStore::UndoLast(project, false).reverted, 3);
    EXPECT_EQ(UndoStore::UndoLast(project, false).reverted, 3);
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1049"))[2], Variant("alt 2"));
    EXPECT_EQ(ErrorNumberOf([&] { UndoStore::UndoLast(project, false); }), 0)
        << "nothing left is no error here";
    EXPECT_FALSE(UndoStore::UndoLast(project, false).found);
}

// A file at the store's place that is no store of this format is the user's:
// the import fails before anything changes, says so once, and leaves the file.
TEST_F(UndoStoreTest, AFileThatIsNoStoreIsReportedAndNeverWritten) {
    struct Case {
        const char* what;
        std::function<void(const QString&)> make;
        const char* detail;
    };
    auto sql = [](const char* statements) {
        return [statements](const QString& path) { RunSql(path, QString::fromUtf8(statements)); };
    };
    const std::vector<Case> cases = {
        {"text",
         [](const QString& path) {
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write(QByteArray(4096, 'x'));
         },
         "keine SQLite-Datenbank"},
        {"another program's database", sql("CREATE TABLE notes(x)"), "unbekanntes Format 0"},
        {"a later format",
         sql("CREATE TABLE undo_imports(x); CREATE TABLE undo_chunks(x); "
             "PRAGMA user_version = 9"),
         "unbekanntes Format 9"},
        {"a table missing", sql("CREATE TABLE undo_imports(x); PRAGMA user_version = 2"),
         "unbekanntes Format 2"},
    };
    const QString project = Project(QStringLiteral("Projekt"), 5);
    const QByteArray before = FileBytes(project);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString store = Store(project);
        QFile::remove(store);
        QDir().mkpath(QFileInfo(store).absolutePath());
        c.make(store);
        const QByteArray damaged = FileBytes(store);
        try {
            MLanguageTransfer::ImportLanguage(project, 1049,
                                              Source(QStringLiteral("Q"), "neu ", 5));
            ADD_FAILURE() << "imported";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Number(), ErrorNumber::Corrupt);
            EXPECT_EQ(error.Description(),
                      QStringLiteral("Die Rückgängig-Daten in '%1' sind beschädigt (%2). Die Datei "
                                     "wird nicht überschrieben; entfernen Sie sie, um neu zu "
                                     "beginnen.")
                          .arg(store, QString::fromUtf8(c.detail)));
        }
        EXPECT_EQ(FileBytes(project), before);
        EXPECT_EQ(FileBytes(store), damaged);
    }
}

}  // namespace
