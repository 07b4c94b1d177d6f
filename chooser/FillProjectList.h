#pragma once

#include "RegisteredProjects.h"

#include <QString>

#include <cstdint>

class ReportListView;

// Reads every registration, removes those whose project file is gone (whatever
// their kind), and adds one row per remaining registration whose kind is in the
// mask: key "S:" + the lower-cased name, text the name, sub-items directory and
// type name. Then no row is selected and the columns are sized to their contents.
// Fails (RuntimeError) on a store that cannot be read, a duplicate key, or a
// "ProjectType" text that reads as a number (13); what was done before stays.
void FillProjectList(ReportListView& listView, int32_t typeMask);
