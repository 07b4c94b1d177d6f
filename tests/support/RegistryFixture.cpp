#include "RegistryFixture.h"

#include "RegisteredProjects.h"
#include "RegistryStore.h"
#include "RegistryTools.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

ScopedRegistryStore::ScopedRegistryStore(const QString& configFolder) {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) saved_ = old;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configFolder));
}

ScopedRegistryStore::~ScopedRegistryStore() {
    if (saved_)
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(*saved_));
    else
        qunsetenv("XDG_CONFIG_HOME");
}

QString ScopedRegistryStore::File() const {
    return RegistryStore::FileOf(RegistryStore::HKEY_LOCAL_MACHINE);
}

void ScopedRegistryStore::Write(const QByteArray& text) const {
    QDir().mkpath(RegistryStore::Directory());
    QFile file(File());
    file.open(QIODevice::WriteOnly);
    file.write(text);
}

void ScopedRegistryStore::Register(const QString& name, const QString& type,
                                   const std::optional<QString>& path) const {
    RegistryTools registry;
    const QString key = kProjectsKey + QLatin1Char('\\') + name;
    registry.SetValue(RegistryStore::HKEY_LOCAL_MACHINE, key, QStringLiteral("ProjectType"), type);
    if (path)
        registry.SetValue(RegistryStore::HKEY_LOCAL_MACHINE, key, QStringLiteral("Path"), *path);
}

QByteArray ScopedRegistryStore::Contents() const {
    QFile file(File());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
