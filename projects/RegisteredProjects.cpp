#include "RegisteredProjects.h"

#include "MText.h"
#include "RegistryStore.h"
#include "RuntimeError.h"
#include "ToolsApp.h"

#include <QDir>

namespace {

RegisteredProject Read(const QString& name) {
    const auto registry = ToolsApp::Instance().Registry();
    const QString key = kProjectsKey + QLatin1Char('\\') + name;
    RegisteredProject project;
    project.name = name;
    project.type = registry->ReadValue(RegistryStore::HKEY_LOCAL_MACHINE, key,
                                       QStringLiteral("ProjectType"), QString());
    project.directory = registry->ReadValue(RegistryStore::HKEY_LOCAL_MACHINE, key,
                                            QStringLiteral("Path"), QString());
    const MText::ProjectTypeResult kind = MText::ConvertProjectType(project.type);
    const int32_t* value = std::get_if<int32_t>(&kind);
    if (!value) throw RuntimeError::ProjectTypeMismatch(project.type);
    project.file = RegisteredProjectFile(project.directory, name, *value);
    project.missing = !ToolsApp::Instance().Files()->FileExists(project.file);
    return project;
}

}  // namespace

QString RegisteredProjectFile(const QString& directory, const QString& name, int32_t typeValue) {
    return directory + QDir::separator() + name +
           (typeValue == MText::kGroup ? QStringLiteral(".vbg") : QStringLiteral(".qrp"));
}

std::vector<RegisteredProject> ReadRegisteredProjects() {
    std::vector<RegisteredProject> projects;
    const QStringList names = ToolsApp::Instance().Registry()->EnumSubKeys(
        RegistryStore::HKEY_LOCAL_MACHINE, kProjectsKey);
    for (const QString& name : names) projects.push_back(Read(name));
    return projects;
}

std::optional<RegisteredProject> FindRegisteredProject(const QString& name) {
    const QStringList names = ToolsApp::Instance().Registry()->EnumSubKeys(
        RegistryStore::HKEY_LOCAL_MACHINE, kProjectsKey);
    for (const QString& registered : names)
        if (registered.compare(name, Qt::CaseInsensitive) == 0) return Read(registered);
    return std::nullopt;
}
