#pragma once

#include "SourceTable.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// Delimited text files (".csv", Excel's "Unicode text") as the engine's text
// driver reads them, and as we write them for translators.
namespace CsvFile {

// The encoding to read a file in: codePage 0 finds it, falling back to
// ansiCodePage (see TextFileEncoding::Decode); any other is the file's.
struct Encoding {
    int codePage = 0;
    int ansiCodePage = 1252;
};

// Reads the file as a table, decoded as TextFileEncoding::Decode says; the
// table's reading tells in what, and lists the bytes of a UTF-8 file that are no
// UTF-8. The delimiter is the one of comma, semicolon and tab that the first row
// holds most often outside quotes. Fields may be quoted as RFC 4180 says, with
// the delimiter, doubled quotes and line breaks inside. Every field is a text; an
// empty field without quotes is Null, "" is the empty text. With a header the
// first row names the columns. Fails with 3024 when the file is missing, 3274
// naming the file ("Textdatei") and the line when it is empty, too large, holds
// too many columns or a quote is never closed.
SourceTable Read(const QString& path, bool header = true, const Encoding& encoding = {});
// The same for a file's bytes; name stands for the file in messages.
SourceTable Parse(QByteArray contents, const QString& name, bool header = true,
                  const Encoding& encoding = {});

// The word messages call such a file by.
inline const QString kNoun = QStringLiteral("Textdatei");

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
