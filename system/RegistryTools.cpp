#include "RegistryTools.h"

#include "RegistryStore.h"

#include <QThreadPool>

QString RegistryTools::ReadValue(uint32_t root, const QString& subKey, const QString& valueName,
                                 const QString& defaultValue) const {
    return RegistryStore(root).ReadValue(subKey, valueName).value_or(defaultValue);
}

QStringList RegistryTools::EnumSubKeys(uint32_t root, const QString& keyPath) const {
    return RegistryStore(root).SubKeys(keyPath);
}

std::vector<RegistryTools::SubKeyValues> RegistryTools::ReadSubKeyValues(
    uint32_t root, const QString& keyPath, const QStringList& valueNames) const {
    const RegistryStore store(root);
    std::vector<SubKeyValues> keys;
    for (const QString& name : store.SubKeys(keyPath)) {
        SubKeyValues& key = keys.emplace_back();
        key.name = name;
        const QString path = keyPath + QLatin1Char('\\') + name;
        for (const QString& valueName : valueNames)
            key.values.append(store.ReadValue(path, valueName).value_or(QString()));
    }
    return keys;
}

void RegistryTools::ReadAhead(uint32_t root) const {
    QThreadPool::globalInstance()->start([root] {
        try {
            const RegistryStore store(root);
        } catch (...) {
        }
    });
}

bool RegistryTools::DeleteKey(uint32_t root, const QString& keyPath) const {
    return RegistryStore(root).DeleteKey(keyPath);
}

void RegistryTools::SetValue(uint32_t root, const QString& keyPath, const QString& valueName,
                             const QString& value) const {
    RegistryStore(root).SetValue(keyPath, valueName, value);
}
