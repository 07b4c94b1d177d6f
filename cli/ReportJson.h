#pragma once

#include "ImportReport.h"
#include "UndoStore.h"

#include <QJsonObject>

// The command line's JSON forms of what the core returns. IDs are given as the
// source wrote them, every list whole.
namespace ReportJson {

// "written", "counts" and the lists of an import report.
QJsonObject FromReport(const ImportReport& report);
QJsonObject FromEntry(const UndoStore::Entry& entry);
QJsonObject FromUndo(const UndoStore::UndoResult& result);

}  // namespace ReportJson
