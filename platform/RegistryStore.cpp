#include "RegistryStore.h"

#include "RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSaveFile>
#include <QStringDecoder>

#define SI_CONVERT_ICU  // as Debian builds libsimpleini; the char interface keeps UTF-8 as it is
#include <SimpleIni.h>

#include <algorithm>
#include <memory>

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

RegistryStore::RegistryStore(uint32_t root) : file_(FileOf(root)), data_(ReadFile(file_)) {
    Parse(data_, file_);  // fail now on a damaged store, not at the first read
}

std::optional<QString> RegistryStore::ReadValue(const QString& keyPath,
                                                const QString& valueName) const {
    auto ini = Parse(data_, file_);
    const QByteArray key = NormalizeKey(keyPath).toUtf8();
    const char* value = ini->GetValue(key.constData(), valueName.toUtf8().constData(), nullptr);
    if (!value) return std::nullopt;
    return QString::fromUtf8(value);
}

QStringList RegistryStore::SubKeys(const QString& keyPath) const {
    auto ini = Parse(data_, file_);
    const QString key = NormalizeKey(keyPath);
    QStringList children;
    for (const QString& section : Sections(*ini)) {
        QString rest = NormalizeKey(section);
        if (!key.isEmpty()) {
            if (!IsBelow(rest, key)) continue;
            rest = rest.mid(key.size() + 1);
        }
        QString child = rest.section(QLatin1Char('\\'), 0, 0);
        if (!child.isEmpty() && !children.contains(child, Qt::CaseInsensitive))
            children.append(child);
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
    data_ = ReadFile(file_);
    auto ini = Parse(data_, file_);
    if (!change(*ini)) return false;
    std::string text;
    ini->Save(text);
    QSaveFile out(file_);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(text.data(), static_cast<qint64>(text.size())) < 0 || !out.commit())
        throw RuntimeError::RegistryNotWritten(file_);
    data_ = QByteArray(text.data(), static_cast<qsizetype>(text.size()));
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
