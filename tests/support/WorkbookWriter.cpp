#include "WorkbookWriter.h"
#include "BiffRecordTypes.h"

namespace Biff {
QByteArray String5(const QByteArray& bytes) {
    return U16(static_cast<uint16_t>(bytes.size())) + bytes;
}

QByteArray Label8(uint16_t row, uint16_t col, const QString& text) {
    return Record(BiffRecord::kLabel, CellHeader(row, col) + String8(text));
}
QByteArray Label5(uint16_t row, uint16_t col, const QByteArray& bytes) {
    return Record(BiffRecord::kLabel, CellHeader(row, col) + String5(bytes));
}
QByteArray Rk(uint16_t row, uint16_t col, uint32_t rk) {
    return Record(BiffRecord::kRk, CellHeader(row, col) + U32(rk));
}
QByteArray Blank(uint16_t row, uint16_t col) {
    return Record(BiffRecord::kBlank, CellHeader(row, col));
}
QByteArray BoolErr(uint16_t row, uint16_t col, uint8_t value, bool isError) {
    return Record(BiffRecord::kBoolErr, CellHeader(row, col) + U8(value) + U8(isError ? 1 : 0));
}

QByteArray FormulaNumber(uint16_t row, uint16_t col, double value) {
    return Record(BiffRecord::kFormula,
                  CellHeader(row, col) + F64(value) + U16(0) + U32(0) + U16(3) + U8(0x1E) + U16(1));
}

QByteArray FormulaSpecial(uint16_t row, uint16_t col, uint8_t kind, uint8_t value) {
    QByteArray result = U8(kind) + U8(0) + U8(value) + U8(0) + U8(0) + U8(0) + U16(0xFFFF);
    return Record(BiffRecord::kFormula,
                  CellHeader(row, col) + result + U16(0) + U32(0) + U16(3) + U8(0x1E) + U16(1));
}

QByteArray StringRecord8(const QString& text) { return Record(BiffRecord::kString, String8(text)); }
QByteArray CodePage(uint16_t codePage) { return Record(BiffRecord::kCodePage, U16(codePage)); }

}  // namespace Biff
