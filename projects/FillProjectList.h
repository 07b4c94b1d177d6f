#pragma once

#include <QString>

#include <cstdint>

class ReportListView;

// The registered projects: one key per project under ProjectsKey in
// HKEY_LOCAL_MACHINE, named by the project, with the values "ProjectType" (the
// kind's name) and "Path" (the project directory).
inline const QString kProjectsKey =
    QStringLiteral("Software\\KALMIRO GmbH\\Quorvin\\4.0\\Projects");

// The project file of a registration: directory, the platform's separator, name,
// and ".vbg" for a group (32), else ".qrp".
QString RegisteredProjectFile(const QString& directory, const QString& name, int32_t typeValue);

// Reads every registration, removes those whose project file is gone (whatever
// their kind), and adds one row per remaining registration whose kind is in the
// mask: key "S:" + the lower-cased name, text the name, sub-items directory and
// type name. Then no row is selected and the columns are sized to their contents.
// Fails (RuntimeError) on a store that cannot be read, a duplicate key, or a
// "ProjectType" text that reads as a number (13); what was done before stays.
void FillProjectList(ReportListView& listView, int32_t typeMask);
