#pragma once

#include <cstdint>

class UndoStoreFile;

// The bound on all undo stores together: at most a size the user sets with
// QUORVIN_UNDO_LIMIT_MB (in MiB), 1 GiB without it. The oldest imports of any
// project give their changes up first; their entries stay, so that an undo of
// one says why it cannot be done.
namespace UndoLimit {

int64_t LimitBytes();
// The size of every store file in the stores' folder.
int64_t SizeOfAll();
// Drops the changes of the oldest imports while all stores hold more than the
// limit, never those of import keep of the current store. Stores that another
// process holds or that are damaged are passed over.
void Enforce(UndoStoreFile& current, int64_t keep);
// Drops the changes of one import of a store, in a transaction of its own, and
// gives their space back; dropped marks the import as one that can no longer be
// undone (an undone one is not marked).
void DropChanges(UndoStoreFile& store, int64_t id, bool dropped = true);

}  // namespace UndoLimit
