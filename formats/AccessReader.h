#pragma once

#include "SourceTable.h"

#include <QString>

// Reads a table of an Access (Jet 3/Jet 4) database. The file is read by the
// helper program quorvin-access-reader, a process of its own under a time and a
// memory limit, which sends the rows back; a crash, a hang or garbage there
// becomes a RuntimeError naming the file, and nothing else is affected.
namespace AccessReader {

// Fails with 3011 when the table is not in the file, 3343 when the file is no
// Access database, 3049 when it is damaged or its reader fails.
SourceTable ReadTable(const QString& path, const QString& table);

// How long the reader may take, in milliseconds (tests shorten it).
void SetTimeLimit(int milliseconds);

}  // namespace AccessReader
