#pragma once

#include <QString>

#include <cstdint>

#include <optional>
#include <vector>

// The registered projects: one key per project under ProjectsKey in
// HKEY_LOCAL_MACHINE, named by the project, with the values "ProjectType" (the
// kind's name) and "Path" (the project directory).
inline const QString kProjectsKey =
    QStringLiteral("Software\\KALMIRO GmbH\\Quorvin\\4.0\\Projects");

// The project file of a registration: directory, the platform's separator, name,
// and ".vbg" for a group (32), else ".qrp".
QString RegisteredProjectFile(const QString& directory, const QString& name, int32_t typeValue);

// The registered projects as they stand in the registry, read without changing
// anything (the chooser removes registrations whose file is gone; a list for
// the command line only marks them).
struct RegisteredProject {
    QString name;
    QString type;       // the kind's name, as registered
    QString directory;  // "Path"
    QString file;       // the project file
    bool missing = false;
};

// Every registration, in the store's order. Fails (RuntimeError) on a store
// that cannot be read or a "ProjectType" text that reads as a number (13).
std::vector<RegisteredProject> ReadRegisteredProjects();

// The registration of that name (compared without regard to case), or nothing.
std::optional<RegisteredProject> FindRegisteredProject(const QString& name);
