#pragma once

#include "ImportReport.h"
#include "TranslationLint.h"
#include "UndoStore.h"

#include <QJsonObject>

#include <cstdio>

// The command line's JSON forms of what the core returns. IDs are given as the
// source wrote them, every list whole.
namespace ReportJson {

// The lists of lost characters, of the checks' findings, of the unmatched rows,
// of the rows without a number and of the repeated IDs may be as long as the source: the objects
// below hold a placeholder for each, and Print writes the list's entries in its place one by one,
// so that no such list is ever a JSON array in memory.
struct Streamed {
    const SpillList<LossyText>* lossy = nullptr;
    const SpillList<CheckFinding>* checks = nullptr;
    const SpillList<UpdateTally::SourceId>* unmatched = nullptr;
    const SpillList<UpdateTally::NoNumber>* noNumber = nullptr;
    const SpillList<UpdateTally::Duplicate>* duplicates = nullptr;
};

// "written", "counts" and the lists of an import report ("lossy", "checks",
// "unmatched", "noNumber" and "duplicates" streamed).
QJsonObject FromReport(const ImportReport& report);
// The lint of a project's texts: reference, counts and checks (streamed).
QJsonObject FromLint(const TranslationLint::Result& result);
// Writes the object, indented, with the streamed lists in their places.
void Print(const QJsonObject& object, const Streamed& lists, std::FILE* out);
QJsonObject FromEntry(const UndoStore::Entry& entry);
QJsonObject FromUndo(const UndoStore::UndoResult& result);

}  // namespace ReportJson
