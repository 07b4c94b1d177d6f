#pragma once

#include "UndoStore.h"

#include <QString>

#include <cstdint>
#include <optional>

// The undo the window offers in its success box: it takes back the import just
// done through the same core as "quorvin-language undo", asking first, and
// asking again about texts another program changed since the import.
namespace ImportUndo {

// The undo entry of the import just done in the project, or nothing when it
// left none (it changed no text).
std::optional<UndoStore::Entry> JustDone(const QString& projectFile);

// Asks whether to take back the import of sourceFile into the project (named
// projectName); where texts changed since, whether to keep them or overwrite
// them; then undoes it and says what it did. Cancelled at either question it
// changes nothing. Fails with a RuntimeError.
void Offer(const QString& projectFile, const QString& projectName, const QString& sourceFile,
           const UndoStore::Entry& entry);

}  // namespace ImportUndo
