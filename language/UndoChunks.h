#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

struct sqlite3;
struct sqlite3_value;

// How the undo store keeps an import's changes: in chunks of about a megabyte,
// each a run of entries (row id, key, old value, new value), so that an import of
// a million texts is a few hundred rows of the store. A value is SQLite's type
// code in one byte, then for numbers their 8 bytes, for texts and blobs a 4-byte
// length and the bytes; numbers in the machine's byte order, as a store belongs
// to one user on one machine.
namespace UndoChunks {

inline constexpr qsizetype kChunkBytes = 1 << 20;

// Appends one change to a chunk.
void Append(QByteArray& chunk, int64_t row, double key, sqlite3_value* old, const QByteArray* now);

// The changes of the chunks first..last of the store (read on from), copied in
// their order into table(row, key, old, new) of into. A chunk that does not read
// whole is a damaged store (RuntimeError naming storePath).
void Read(sqlite3* from, int64_t first, int64_t last, sqlite3* into, const QString& table,
          const QString& storePath);

}  // namespace UndoChunks
