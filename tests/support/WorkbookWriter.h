#pragma once

#include "BiffRecords.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

// Records beyond those our own workbooks need, for tests and the benchmark to
// make workbooks with exactly the records they want, damaged ones included.
namespace Biff {

// BIFF5 string bodies: 16-bit count, bytes already in the workbook's code page.
QByteArray String5(const QByteArray& bytes);

QByteArray Label8(uint16_t row, uint16_t col, const QString& text);
QByteArray Label5(uint16_t row, uint16_t col, const QByteArray& bytes);
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

}  // namespace Biff
