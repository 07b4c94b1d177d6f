#pragma once

#include "SourceTable.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// Delimited text files (".csv", Excel's "Unicode text") as the engine's text
// driver reads them, and as we write them for translators.
namespace CsvFile {

// Reads the file as a table. The encoding is found from a byte-order mark (UTF-8,
// UTF-16 LE or BE), else UTF-8 when the bytes are valid UTF-8, else Windows-1252.
// The delimiter is the one of comma, semicolon and tab that the first row holds
// most often outside quotes. Fields may be quoted as RFC 4180 says, with the
// delimiter, doubled quotes and line breaks inside. Every field is a text; an
// empty field without quotes is Null, "" is the empty text. With a header the
// first row names the columns. Fails with 3024 when the file is missing, 3274
// naming it when it is too large or a quote is never closed.
SourceTable Read(const QString& path, bool header = true);
// The same for a file's bytes; name stands for the file in messages.
SourceTable Parse(QByteArray contents, const QString& name, bool header = true);

// One row of a file as we write it: comma-separated, each field quoted when it
// holds a comma, a quote, a line break or leading or trailing blanks (and the
// empty text as ""), so that Read gives back exactly the fields; a Null field
// stays empty. Ends with CR LF.
struct Field {
    QString text;
    bool null = false;
};
QByteArray Row(const std::vector<Field>& fields);

// The UTF-8 byte-order mark that tells Excel the file's encoding.
inline const QByteArray kUtf8Bom = QByteArray("\xEF\xBB\xBF");

}  // namespace CsvFile
