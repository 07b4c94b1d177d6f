#pragma once

#include <QString>

// A fault a reader found in the file it reads, in German, with where it is when
// the reader knows it ("Teil xl/workbook.xml, Zeile 3: fehlerhaftes XML"). The
// parts of a reader throw it; the reader's entry point turns it into the
// RuntimeError that names the file.
struct FileDamaged {
    QString what;
};
