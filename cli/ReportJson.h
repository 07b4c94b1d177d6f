#pragma once

#include "ImportReport.h"
#include "TranslationLint.h"
#include "UndoStore.h"

#include <QJsonObject>

// The command line's JSON forms of what the core returns. IDs are given as the
// source wrote them, every list whole.
namespace ReportJson {

// "written", "counts" and the lists of an import report.
QJsonObject FromReport(const ImportReport& report);
// The lint of a project's texts: reference, counts and checks.
QJsonObject FromLint(const TranslationLint::Result& result);
QJsonObject FromEntry(const UndoStore::Entry& entry);
QJsonObject FromUndo(const UndoStore::UndoResult& result);

}  // namespace ReportJson
