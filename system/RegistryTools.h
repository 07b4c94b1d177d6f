#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// Registry utilities over the registry store of this platform (RegistryStore).
// Roots are the Windows predefined key values (0x80000002 = HKEY_LOCAL_MACHINE).
// Failures (an unreadable or damaged store) are RuntimeErrors naming the file.
class RegistryTools {
  public:
    // The value as text, or the default when the key or value is missing.
    QString ReadValue(uint32_t root, const QString& subKey, const QString& valueName,
                      const QString& defaultValue) const;
    // The names of the key's direct sub-keys; empty when the key does not exist.
    QStringList EnumSubKeys(uint32_t root, const QString& keyPath) const;
    // The key's direct sub-keys with the values named, read from one look at
    // the store (a list of ten thousand projects in one go): each sub-key's name
    // and its values in the order asked, empty where one is missing.
    struct SubKeyValues {
        QString name;
        QStringList values;
    };
    std::vector<SubKeyValues> ReadSubKeyValues(uint32_t root, const QString& keyPath,
                                               const QStringList& valueNames) const;
    // Reads the store into memory on a worker thread, so that the next read
    // finds it parsed (ten thousand registered projects take a tenth of a second);
    // what fails is left for that read to report.
    void ReadAhead(uint32_t root) const;
    // Removes the key with its values and sub-keys; false when it was not there.
    bool DeleteKey(uint32_t root, const QString& keyPath) const;
    void SetValue(uint32_t root, const QString& keyPath, const QString& valueName,
                  const QString& value) const;
};
