#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// Builds BIFF5 and BIFF8 workbooks record by record and writes them into a
// compound document with libgsf, so tests and the benchmark can make workbooks
// with exactly the records they need, damaged ones included.
namespace Biff {

QByteArray U8(uint8_t value);
QByteArray U16(uint16_t value);
QByteArray U32(uint32_t value);
QByteArray F64(double value);

// A record: type, length, body. Bodies longer than 8224 bytes are the caller's choice.
QByteArray Record(uint16_t type, const QByteArray& body);

// BIFF8 string bodies: 16-bit count, option byte, characters (compressed when all
// characters fit in 8 bits, else UTF-16).
QByteArray String8(const QString& text);
// BIFF5 string bodies: 16-bit count, bytes already in the workbook's code page.
QByteArray String5(const QByteArray& bytes);

QByteArray CellHeader(uint16_t row, uint16_t col);
QByteArray Number(uint16_t row, uint16_t col, double value);
QByteArray Label8(uint16_t row, uint16_t col, const QString& text);
QByteArray Label5(uint16_t row, uint16_t col, const QByteArray& bytes);
QByteArray LabelSst(uint16_t row, uint16_t col, uint32_t index);
QByteArray Rk(uint16_t row, uint16_t col, uint32_t rk);
QByteArray Blank(uint16_t row, uint16_t col);
QByteArray BoolErr(uint16_t row, uint16_t col, uint8_t value, bool isError);
// A formula cell with its cached result: a number, or for the special kinds the
// 8 result bytes (kind 0 = text in the STRING record that follows, 1 = boolean,
// 2 = error, 3 = empty text).
QByteArray FormulaNumber(uint16_t row, uint16_t col, double value);
QByteArray FormulaSpecial(uint16_t row, uint16_t col, uint8_t kind, uint8_t value = 0);
QByteArray StringRecord8(const QString& text);
QByteArray CodePage(uint16_t codePage);

// The shared-string table: an SST record with CONTINUE records as Excel splits it,
// every record at most 8224 bytes, characters continued with a new option byte.
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

// Writes the stream into a compound document ("Workbook" for BIFF8, "Book" for BIFF5).
void WriteCompoundFile(const QString& path, const QByteArray& stream, int version);

}  // namespace Biff
