#include "RegistryStore.h"

#include "RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

#define SI_CONVERT_ICU  // as Debian builds libsimpleini; the char interface keeps UTF-8 as it is
#include <SimpleIni.h>

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

namespace {

QString NormalizeKey(QString path) {
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    while (path.startsWith(QLatin1Char('\\'))) path.remove(0, 1);
    while (path.endsWith(QLatin1Char('\\'))) path.chop(1);
    return path;
}

bool IsBelow(const QString& section, const QString& key) {
    return section.size() > key.size() + 1 && section.startsWith(key, Qt::CaseInsensitive) &&
           section[key.size()] == QLatin1Char('\\');
}

[[noreturn]] void ThrowDamaged(const QString& file, const QString& detail) {
    throw RuntimeError::RegistryDamaged(file, detail);
}

// The parsed INI text; section names in the order of the file.
std::unique_ptr<CSimpleIniA> Parse(const QByteArray& data, const QString& file) {
    if (data.contains('\0')) ThrowDamaged(file, QStringLiteral("sie enthält Nullbytes"));
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)QString(utf8(data));
    if (utf8.hasError()) ThrowDamaged(file, QStringLiteral("sie ist kein gültiger UTF-8-Text"));
    auto ini = std::make_unique<CSimpleIniA>(true, false, false);
    ini->SetSpaces(false);  // Name=text, as the registry store is written by hand too
    if (ini->LoadData(data.constData(), static_cast<size_t>(data.size())) < 0)
        ThrowDamaged(file, QStringLiteral("sie kann nicht gelesen werden"));
    return ini;
}

QByteArray ReadFile(const QString& file) {
    QFile in(file);
    if (!in.exists()) return {};
    if (!in.open(QIODevice::ReadOnly)) throw RuntimeError::RegistryUnreadable(file);
    QByteArray data = in.readAll();
    if (in.error() != QFileDevice::NoError) throw RuntimeError::RegistryUnreadable(file);
    return data;
}

QStringList Sections(const CSimpleIniA& ini) {
    CSimpleIniA::TNamesDepend names;
    ini.GetAllSections(names);
    names.sort(CSimpleIniA::Entry::LoadOrder());
    QStringList sections;
    for (const auto& entry : names) sections.append(QString::fromUtf8(entry.pItem));
    return sections;
}

// What identifies one version of a file: a rewrite (a new file renamed over it)
// or an append changes one of these.
struct FileVersion {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modifiedNs = 0;
    bool operator==(const FileVersion&) const = default;
};

FileVersion VersionOf(const QString& file) {
    struct stat info {};
    if (stat(QFile::encodeName(file).constData(), &info) != 0) return {};
    return {true, info.st_dev, info.st_ino, info.st_size,
            static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

}  // namespace

struct RegistryStore::Contents {
    FileVersion version;
    std::unique_ptr<CSimpleIniA> ini;
};

namespace {

// The stores read so far, by file; each is used while its file is unchanged.
std::mutex cacheMutex;
std::map<QString, std::shared_ptr<const RegistryStore::Contents>>& Cache() {
    static std::map<QString, std::shared_ptr<const RegistryStore::Contents>> cache;
    return cache;
}

}  // namespace

QString RegistryStore::Directory() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/QuorvinStudio");
}

QString RegistryStore::FileOf(uint32_t root) {
    const char* name = nullptr;
    switch (root) {
        case HKEY_CLASSES_ROOT:
            name = "HKEY_CLASSES_ROOT";
            break;
        case HKEY_CURRENT_USER:
            name = "HKEY_CURRENT_USER";
            break;
        case HKEY_LOCAL_MACHINE:
            name = "HKEY_LOCAL_MACHINE";
            break;
        case HKEY_USERS:
            name = "HKEY_USERS";
            break;
        default:
            throw RuntimeError::UnknownRegistryRoot(root);
    }
    return Directory() + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".ini");
}

RegistryStore::RegistryStore(uint32_t root) : file_(FileOf(root)) {
    const FileVersion version = VersionOf(file_);
    {
        std::lock_guard lock(cacheMutex);
        auto cached = Cache().find(file_);
        if (cached != Cache().end() && version.exists && cached->second->version == version) {
            contents_ = cached->second;
            return;
        }
    }
    // Read and parse now, so that a damaged store fails here, not at the first read.
    auto contents = std::make_shared<Contents>();
    contents->version = version;
    contents->ini = Parse(ReadFile(file_), file_);
    // A file changed while it was read is read again next time.
    if (version.exists && VersionOf(file_) == version) {
        std::lock_guard lock(cacheMutex);
        Cache()[file_] = contents;
    }
    contents_ = std::move(contents);
}

RegistryStore::~RegistryStore() = default;

std::optional<QString> RegistryStore::ReadValue(const QString& keyPath,
                                                const QString& valueName) const {
    const CSimpleIniA* ini = contents_->ini.get();
    const QByteArray key = NormalizeKey(keyPath).toUtf8();
    const char* value = ini->GetValue(key.constData(), valueName.toUtf8().constData(), nullptr);
    if (!value) return std::nullopt;
    return QString::fromUtf8(value);
}

QStringList RegistryStore::SubKeys(const QString& keyPath) const {
    const CSimpleIniA* ini = contents_->ini.get();
    const QString key = NormalizeKey(keyPath);
    QStringList children;
    QSet<QString> seen;  // case-folded, so that many sub-keys cost no more than a look-up each
    for (const QString& section : Sections(*ini)) {
        QString rest = NormalizeKey(section);
        if (!key.isEmpty()) {
            if (!IsBelow(rest, key)) continue;
            rest = rest.mid(key.size() + 1);
        }
        QString child = rest.section(QLatin1Char('\\'), 0, 0);
        if (!child.isEmpty() && !seen.contains(child.toCaseFolded())) {
            seen.insert(child.toCaseFolded());
            children.append(child);
        }
    }
    return children;
}

template <typename Change>
bool RegistryStore::Modify(Change change) {
    QDir().mkpath(Directory());
    QLockFile lock(file_ + QStringLiteral(".lock"));
    if (!lock.tryLock(5000)) {
        if (lock.error() == QLockFile::LockFailedError) throw RuntimeError::RegistryLocked(file_);
        throw RuntimeError::RegistryFolderNotWritable(file_);
    }
    // Work on what is on disk now, so a change another process made meanwhile stays.
    auto ini = Parse(ReadFile(file_), file_);
    if (!change(*ini)) return false;
    std::string text;
    ini->Save(text);
    QSaveFile out(file_);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(text.data(), static_cast<qint64>(text.size())) < 0 || !out.commit())
        throw RuntimeError::RegistryNotWritten(file_);
    auto contents = std::make_shared<Contents>();
    contents->version = VersionOf(file_);
    contents->ini = std::move(ini);
    contents_ = std::move(contents);
    return true;
}

bool RegistryStore::DeleteKey(const QString& keyPath) {
    const QString key = NormalizeKey(keyPath);
    return Modify([&](CSimpleIniA& ini) {
        bool deleted = false;
        for (const QString& section : Sections(ini)) {
            QString normalized = NormalizeKey(section);
            if (normalized.compare(key, Qt::CaseInsensitive) == 0 || IsBelow(normalized, key))
                deleted |= ini.Delete(section.toUtf8().constData(), nullptr);
        }
        return deleted;
    });
}

void RegistryStore::SetValue(const QString& keyPath, const QString& valueName,
                             const QString& value) {
    const QByteArray key = NormalizeKey(keyPath).toUtf8();
    Modify([&](CSimpleIniA& ini) {
        ini.SetValue(key.constData(), valueName.toUtf8().constData(), value.toUtf8().constData());
        return true;
    });
}
