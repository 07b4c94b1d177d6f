#include "RegistryStore.h"
#include "RegistryTools.h"
#include "RuntimeError.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uint32_t HKLM = RegistryStore::HKEY_LOCAL_MACHINE;
const QString kProjects = QStringLiteral("Software\\KALMIRO GmbH\\Quorvin\\4.0\\Projects");

// Points the registry store at a fresh configuration folder for each test.
class RegistryToolsTest : public testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        saved_ = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("XDG_CONFIG_HOME",
               QFile::encodeName(folder.Path(QStringLiteral("config"))).constData(), 1);
    }
    void TearDown() override {
        if (saved_)
            setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    QString StoreFile() const {
        return folder.Path(QStringLiteral("config/QuorvinStudio/HKEY_LOCAL_MACHINE.ini"));
    }
    void WriteStore(const QByteArray& text) const {
        QDir().mkpath(folder.Path(QStringLiteral("config/QuorvinStudio")));
        QFile file(StoreFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    TempFolder folder;
    RegistryTools registry;
    std::optional<std::string> saved_;
};

const QByteArray kStore =
    "[Software\\KALMIRO GmbH\\Quorvin\\4.0\\Projects\\Plant1]\n"
    "ProjectType=Single\n"
    "Path=/home/anna/Projekte/Plant1\n"
    "\n"
    "[Software\\KALMIRO GmbH\\Quorvin\\4.0\\Projects\\Kläranlage]\n"
    "ProjectType=Terminal Client\n"
    "Path=/srv/qs/Kläranlage\n"
    "\n"
    "[software\\kalmiro gmbh\\quorvin\\4.0\\projects\\Gruppe\\Teil]\n"
    "Notiz=nur ein Unterschlüssel\n"
    "\n"
    "[Software\\KALMIRO GmbH\\Quorvin\\4.0\\Projects\\PLANT1\\Extra]\n"
    "x=1\n";

TEST_F(RegistryToolsTest, StoreLivesInTheUsersConfigurationFolder) {
    EXPECT_EQ(RegistryStore::FileOf(HKLM), StoreFile());
    EXPECT_THROW(RegistryStore::FileOf(0x12345678u), RuntimeError);
}

TEST_F(RegistryToolsTest, MissingStoreIsEmpty) {
    EXPECT_EQ(registry.ReadValue(HKLM, kProjects + QStringLiteral("\\Plant1"),
                                 QStringLiteral("Path"), QStringLiteral("dflt")),
              QStringLiteral("dflt"));
    EXPECT_TRUE(registry.EnumSubKeys(HKLM, kProjects).isEmpty());
    EXPECT_FALSE(registry.DeleteKey(HKLM, kProjects + QStringLiteral("\\Plant1")));
    EXPECT_FALSE(QFile::exists(StoreFile())) << "nothing to delete, nothing written";
}

TEST_F(RegistryToolsTest, ReadsValuesWithoutRegardToCase) {
    WriteStore(kStore);
    EXPECT_EQ(registry.ReadValue(HKLM, kProjects + QStringLiteral("\\plant1"),
                                 QStringLiteral("path"), QString()),
              QStringLiteral("/home/anna/Projekte/Plant1"));
    EXPECT_EQ(registry.ReadValue(HKLM, kProjects + QStringLiteral("\\Kläranlage"),
                                 QStringLiteral("ProjectType"), QString()),
              QStringLiteral("Terminal Client"));
    EXPECT_EQ(registry.ReadValue(HKLM, kProjects + QStringLiteral("\\Plant1"),
                                 QStringLiteral("Fehlt"), QStringLiteral("d")),
              QStringLiteral("d"));
}

TEST_F(RegistryToolsTest, SubKeysIncludeKeysWithOnlyDeeperSections) {
    WriteStore(kStore);
    EXPECT_EQ(registry.EnumSubKeys(HKLM, kProjects),
              QStringList({QStringLiteral("Plant1"), QStringLiteral("Kläranlage"),
                           QStringLiteral("Gruppe")}));
    EXPECT_EQ(registry.EnumSubKeys(HKLM, kProjects + QStringLiteral("\\Plant1")),
              QStringList({QStringLiteral("Extra")}));
    EXPECT_TRUE(registry.EnumSubKeys(HKLM, QStringLiteral("Software\\Fehlt")).isEmpty());
}

// The chooser reads every registration at once; it must see what reading them
// one by one sees: the sub-keys in their order, values without regard to case,
// missing values empty, a key with deeper sections only included.
TEST_F(RegistryToolsTest, SubKeyValuesAtOnceAreTheValuesReadOneByOne) {
    WriteStore(kStore);
    const QStringList names = {QStringLiteral("projecttype"), QStringLiteral("Path"),
                               QStringLiteral("Fehlt")};
    const auto keys = registry.ReadSubKeyValues(HKLM, kProjects, names);
    const QStringList subKeys = registry.EnumSubKeys(HKLM, kProjects);
    ASSERT_EQ(keys.size(), static_cast<size_t>(subKeys.size()));
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i].name, subKeys[static_cast<qsizetype>(i)]);
        ASSERT_EQ(keys[i].values.size(), names.size());
        for (qsizetype v = 0; v < names.size(); ++v)
            EXPECT_EQ(keys[i].values[v],
                      registry.ReadValue(HKLM, kProjects + QLatin1Char('\\') + keys[i].name,
                                         names[v], QString()))
                << keys[i].name.toStdString() << " " << names[v].toStdString();
    }
    EXPECT_EQ(keys[1].values, QStringList({QStringLiteral("Terminal Client"),
                                           QStringLiteral("/srv/qs/Kläranlage"), QString()}));
    EXPECT_TRUE(registry.ReadSubKeyValues(HKLM, QStringLiteral("Software\\Fehlt"), names).empty());
    // A damaged store fails here as it does for every other read.
    WriteStore(QByteArray(kStore).append("\xFF\xFE kaputt\n"));
    EXPECT_THROW(registry.ReadSubKeyValues(HKLM, kProjects, names), RuntimeError);
}

TEST_F(RegistryToolsTest, DeleteKeyRemovesItsValuesAndSubKeysAndNothingElse) {
    WriteStore(kStore);
    EXPECT_TRUE(registry.DeleteKey(HKLM, kProjects + QStringLiteral("\\plant1")));
    EXPECT_EQ(registry.EnumSubKeys(HKLM, kProjects),
              QStringList({QStringLiteral("Kläranlage"), QStringLiteral("Gruppe")}));
    EXPECT_EQ(registry.ReadValue(HKLM, kProjects + QStringLiteral("\\Kläranlage"),
                                 QStringLiteral("Path"), QString()),
              QStringLiteral("/srv/qs/Kläranlage"));
    EXPECT_EQ(QDir(folder.Path(QStringLiteral("config/QuorvinStudio"))).entryList(QDir::Files),
              QStringList({QStringLiteral("HKEY_LOCAL_MACHINE.ini")}))
        << "no temporary or lock file is left";
}

TEST_F(RegistryToolsTest, DamagedStoreFailsAndIsNeverOverwritten) {
    const QByteArray damaged = QByteArray(kStore).append("\xFF\xFE kaputt\n");
    WriteStore(damaged);
    try {
        registry.EnumSubKeys(HKLM, kProjects);
        ADD_FAILURE() << "a damaged store was read";
    } catch (const RuntimeError& error) {
        EXPECT_TRUE(error.Description().contains(StoreFile())) << error.what();
    }
    EXPECT_THROW(registry.DeleteKey(HKLM, kProjects + QStringLiteral("\\Plant1")), RuntimeError);
    EXPECT_EQ(FileBytes(StoreFile()), damaged);
}

TEST_F(RegistryToolsTest, UnreadableStoreFailsAndIsNeverOverwritten) {
    WriteStore(kStore);
    for (const char* dir : {"", "config", "config/QuorvinStudio"})
        chmod(QFile::encodeName(folder.Path(QString::fromLatin1(dir))).constData(), 0755);
    chmod(QFile::encodeName(StoreFile()).constData(), 0);
    // Root reads any file: the reading runs as the unprivileged user nobody then.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        int outcome = 0;
        try {
            RegistryTools().EnumSubKeys(HKLM, kProjects);
        } catch (const RuntimeError& error) {
            outcome = error.Number() == ErrorNumber::CannotOpen &&
                              error.Description().contains(StoreFile())
                          ? 1
                          : 2;
        }
        try {
            RegistryTools().DeleteKey(HKLM, kProjects + QStringLiteral("\\Plant1"));
            outcome = 2;
        } catch (const RuntimeError& error) {
            if (error.Number() != ErrorNumber::CannotOpen) outcome = 2;
        }
        _exit(outcome);
    }
    int status = 0;
    waitpid(child, &status, 0);
    chmod(QFile::encodeName(StoreFile()).constData(), 0644);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "1: a clear error naming the store, and no write";
    EXPECT_EQ(FileBytes(StoreFile()), kStore);
}

TEST_F(RegistryToolsTest, ChangesOfAnotherProcessMeanwhileAreKept) {
    WriteStore(kStore);
    RegistryStore ours(HKLM);  // read before the other process writes
    WriteStore(QByteArray(kStore).append("[Software\\Neu]\nWert=1\n"));
    EXPECT_TRUE(ours.DeleteKey(kProjects + QStringLiteral("\\Plant1")));
    EXPECT_EQ(registry.ReadValue(HKLM, QStringLiteral("Software\\Neu"), QStringLiteral("Wert"),
                                 QString()),
              QStringLiteral("1"));
    EXPECT_EQ(registry.ReadValue(HKLM, kProjects + QStringLiteral("\\Plant1"),
                                 QStringLiteral("Path"), QStringLiteral("-")),
              QStringLiteral("-"));
}

TEST_F(RegistryToolsTest, SetValueCreatesTheStore) {
    registry.SetValue(HKLM, kProjects + QStringLiteral("\\Demo"), QStringLiteral("Path"),
                      QStringLiteral("/tmp/ä"));
    EXPECT_EQ(registry.ReadValue(HKLM, kProjects + QStringLiteral("\\DEMO"), QStringLiteral("Path"),
                                 QString()),
              QStringLiteral("/tmp/ä"));
    EXPECT_TRUE(
        FileBytes(StoreFile()).contains("[Software\\KALMIRO GmbH\\Quorvin\\4.0\\Projects\\Demo]"));
}

}  // namespace

namespace {

// Rewrites the file in place (same inode, same length), as an editor that keeps
// the file does, and gives it a modification time of its own.
void RewriteInPlace(const QString& path, const QByteArray& text, long seconds) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.write(text);
    file.close();
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

TEST_F(RegistryToolsTest, ReadingManyKeysStillSeesEveryChangeOnDisk) {
    const QByteArray before = "[" + kProjects.toUtf8() + "\\A]\nPath=/eins\n";
    const QByteArray after = "[" + kProjects.toUtf8() + "\\A]\nPath=/zwei\n";
    WriteStore(before);
    const QString key = kProjects + QStringLiteral("\\A");
    EXPECT_EQ(registry.ReadValue(HKLM, key, QStringLiteral("Path"), {}), QStringLiteral("/eins"));
    EXPECT_EQ(registry.ReadValue(HKLM, key, QStringLiteral("Path"), {}), QStringLiteral("/eins"));

    // Same length, same file: the modification time tells the change.
    RewriteInPlace(StoreFile(), after, 1000000);
    EXPECT_EQ(registry.ReadValue(HKLM, key, QStringLiteral("Path"), {}), QStringLiteral("/zwei"));

    // A store damaged after it was read is reported, never answered from what was read.
    RewriteInPlace(StoreFile(), QByteArray(after.size(), '\0'), 2000000);
    EXPECT_EQ(ErrorNumberOf([&] { registry.EnumSubKeys(HKLM, kProjects); }),
              RuntimeError::RegistryDamaged(StoreFile(), {}).Number());

    // A store removed is empty again.
    QFile::remove(StoreFile());
    EXPECT_TRUE(registry.EnumSubKeys(HKLM, kProjects).isEmpty());
}

}  // namespace
