#include "RegistryTools.h"

#include "RegistryStore.h"

QString RegistryTools::ReadValue(uint32_t root, const QString& subKey, const QString& valueName,
                                 const QString& defaultValue) const {
    return RegistryStore(root).ReadValue(subKey, valueName).value_or(defaultValue);
}

QStringList RegistryTools::EnumSubKeys(uint32_t root, const QString& keyPath) const {
    return RegistryStore(root).SubKeys(keyPath);
}

bool RegistryTools::DeleteKey(uint32_t root, const QString& keyPath) const {
    return RegistryStore(root).DeleteKey(keyPath);
}

void RegistryTools::SetValue(uint32_t root, const QString& keyPath, const QString& valueName,
                             const QString& value) const {
    RegistryStore(root).SetValue(keyPath, valueName, value);
}
