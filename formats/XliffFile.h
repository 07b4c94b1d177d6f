#pragma once

#include "SourceTable.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// XLIFF files (".xlf", ".xliff") as translation tools write them back: XLIFF
// 1.0, 1.1 and 1.2 (<trans-unit>) and 2.0 and 2.1 (<unit> of segments), the
// version found from the namespace. Read as a stream, as plain XML only: a DTD is
// refused, so no entity but the five of XML is expanded and nothing is fetched.
namespace XliffFile {

// Reads the translated units as a table of two columns, "ID" and the language's
// column ("L" + lcid), one row per unit in the order of the file, <file> after
// <file>. A unit's ID is its id, or where that is no number its resname (1.x) or
// name (2.x) when that is. Its text is its target's text: <g> and <mrk> (2.x
// <mrk>, <sm>, <em>) count as their text; 2.x joins the targets of its segments
// and ignorables (an ignorable without one gives its source). Not imported, and
// listed in the table's reading: units without a target, with an empty one, or
// whose state says they are not translated (1.x "new", "needs-translation", 2.x
// "initial" without a target); units whose target holds a placeholder code
// (1.x x, ph, bx, ex, bpt, ept, it; 2.x ph, pc, sc, ec). Fails with a RuntimeError
// naming the file: 3024 missing, 3274 not XLIFF, of a version it cannot read,
// damaged, a DTD, too deep or too large; 5 when a <file>'s target language is not
// lcid's (its primary language subtag differs).
SourceTable Read(const QString& path, int32_t lcid);
// The same for a file's bytes; name stands for the file in messages.
SourceTable Parse(const QByteArray& contents, const QString& name, int32_t lcid);

// The word messages call such a file by.
inline const QString kNoun = QStringLiteral("XLIFF-Datei");

}  // namespace XliffFile
