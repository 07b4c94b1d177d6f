#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

// Where the registry lives on this platform: one INI file per root key, named after
// the root (HKEY_LOCAL_MACHINE.ini), in the folder QuorvinStudio of the user's
// configuration directory ($XDG_CONFIG_HOME, else ~/.config). Sections are full key
// paths written with backslashes; values are Name=text in UTF-8. Key paths and value
// names compare without regard to case and keep their case. A key that has deeper
// sections has them as sub-keys even without a section of its own.
class RegistryStore {
  public:
    static constexpr uint32_t HKEY_CLASSES_ROOT = 0x80000000u;
    static constexpr uint32_t HKEY_CURRENT_USER = 0x80000001u;
    static constexpr uint32_t HKEY_LOCAL_MACHINE = 0x80000002u;
    static constexpr uint32_t HKEY_USERS = 0x80000003u;

    // The folder of the store files.
    static QString Directory();
    // The store file of a root key; fails with RuntimeError 5 for an unknown root.
    static QString FileOf(uint32_t root);

    // Reads the store of a root. A missing file is an empty store; a file that
    // cannot be read or is not a valid store fails with a RuntimeError naming it.
    // A store read before is read again only when the file is another one or has
    // changed (its identity, size or modification time), so that looking at many
    // keys one after the other costs one reading of the file.
    explicit RegistryStore(uint32_t root);
    ~RegistryStore();

    std::optional<QString> ReadValue(const QString& keyPath, const QString& valueName) const;
    // Names of the key's direct sub-keys in the order the file holds them.
    QStringList SubKeys(const QString& keyPath) const;

    // Changes are made on the store as it is on disk at that moment, under a lock,
    // and written atomically (temporary file, then rename), so neither a crash nor
    // another process writing at the same time loses or breaks the store.
    // DeleteKey returns false when the key was not there.
    bool DeleteKey(const QString& keyPath);
    void SetValue(const QString& keyPath, const QString& valueName, const QString& value);

    // The parsed file, shared by the stores that read the same version of it.
    struct Contents;

  private:
    template <typename Change>
    bool Modify(Change change);

    QString file_;
    std::shared_ptr<const Contents> contents_;
};
