#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// The pieces of BIFF8 and BIFF5 workbook streams, built record by record, and the
// compound document that holds the stream, written with libgsf.
namespace Biff {

QByteArray U8(uint8_t value);
QByteArray U16(uint16_t value);
QByteArray U32(uint32_t value);
QByteArray F64(double value);

// The longest record body; longer data goes on in CONTINUE records.
inline constexpr int kMaxRecordBody = 8224;

// A record: type, length, body. Bodies longer than kMaxRecordBody are the caller's choice.
QByteArray Record(uint16_t type, const QByteArray& body);

// BIFF8 string bodies: 16-bit count, option byte, characters (compressed when all
// characters fit in 8 bits, else UTF-16).
QByteArray String8(const QString& text);
// The characters alone, one byte each when wide is false, else two.
QByteArray Chars(const QString& text, bool wide);
bool FitsCompressed(const QString& text);

// Row, column and the index of the cell's format (XF).
QByteArray CellHeader(uint16_t row, uint16_t col, uint16_t xf = 15);
QByteArray Number(uint16_t row, uint16_t col, double value, uint16_t xf = 15);
QByteArray LabelSst(uint16_t row, uint16_t col, uint32_t index, uint16_t xf = 15);

// The shared-string table: an SST record with CONTINUE records as Excel splits it,
// every record at most kMaxRecordBody bytes, characters continued with a new option byte.
QByteArray SharedStrings(const QStringList& strings);

struct Sheet {
    QString name;
    QByteArray cells;            // the records between the sheet's BOF and EOF
    uint8_t type = 0;            // 0 worksheet, 2 chart, ...
    QByteArray nameBytes5 = {};  // BIFF5: the name in the workbook's code page (Latin-1 if empty)
};

// The whole workbook stream: globals (BOF, the given records, BOUNDSHEETs, EOF)
// followed by the sheets. version is 5 or 8.
QByteArray WorkbookStream(int version, const QByteArray& globals, const std::vector<Sheet>& sheets);

// Writes the stream into a compound document ("Workbook" for BIFF8, "Book" for
// BIFF5). Returns false when the file cannot be written completely.
bool WriteCompoundFile(const QString& path, const QByteArray& stream, int version);

}  // namespace Biff
