#pragma once

#include <QString>

#include <optional>
#include <vector>

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
