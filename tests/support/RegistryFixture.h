#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

// Points the registry store at a folder of a test's own while it lives.
class ScopedRegistryStore {
  public:
    explicit ScopedRegistryStore(const QString& configFolder);
    ~ScopedRegistryStore();
    ScopedRegistryStore(const ScopedRegistryStore&) = delete;
    ScopedRegistryStore& operator=(const ScopedRegistryStore&) = delete;

    QString File() const;
    void Write(const QByteArray& text) const;
    // Registers a project: its section with "ProjectType" and, unless empty, "Path".
    void Register(const QString& name, const QString& type,
                  const std::optional<QString>& path) const;
    QByteArray Contents() const;

  private:
    std::optional<std::string> saved_;
};
