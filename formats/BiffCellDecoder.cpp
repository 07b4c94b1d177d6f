#include "BiffCellDecoder.h"
#include "BiffRecordTypes.h"

#include <cmath>
#include <cstring>

namespace {

using namespace BiffRecord;

double RkValue(uint32_t rk) {
    double value;
    if (rk & 0x02) {
        value = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100.0 : value;
}

}  // namespace

BiffCellDecoder::BiffCellDecoder(bool biff8, const BiffSharedStrings& sharedStrings,
                                 std::function<CodePageConverter&()> codePage)
    : biff8_(biff8), sharedStrings_(sharedStrings), codePage_(std::move(codePage)) {}

QString BiffCellDecoder::String(BiffRecordReader& reader, bool longCount) {
    return biff8_ ? reader.Biff8String(longCount) : reader.Biff5String(longCount, codePage_());
}

void BiffCellDecoder::Decode(uint16_t type, BiffRecordReader reader, std::vector<Cell>& out) {
    if (type == kString) {
        if (pendingString_) out.push_back({pendingRow_, pendingCol_, String(reader, true)});
        pendingString_ = false;
        return;
    }
    // Every other cell record begins with row, column and format.
    switch (type) {
        case kLabelSst:
        case kLabel:
        case kRString:
        case kNumber:
        case kRk:
        case kBoolErr:
        case kFormula:
        case kMulRk:
            break;
        default:
            return;
    }
    const uint32_t row = reader.U16(), col = reader.U16();
    if (type == kMulRk) {
        if (reader.Remaining() < 2 || (reader.Remaining() - 2) % 6 != 0)
            throw FileDamaged{"MULRK ungültig"};
        const size_t count = (reader.Remaining() - 2) / 6;
        for (size_t i = 0; i < count; ++i) {
            reader.U16();  // format
            out.push_back({row, static_cast<uint32_t>(col + i), RkValue(reader.U32())});
        }
        return;
    }
    reader.U16();  // format
    switch (type) {
        case kLabelSst: {
            const uint32_t index = reader.U32();
            if (index >= sharedStrings_.size())
                out.push_back({row, col, Variant(), "Verweis auf einen fehlenden Text"});
            else
                out.push_back({row, col, sharedStrings_.At(index)});
            break;
        }
        case kLabel:
        case kRString:
            out.push_back({row, col, String(reader, true)});
            break;
        case kNumber:
            out.push_back({row, col, reader.F64()});
            break;
        case kRk:
            out.push_back({row, col, RkValue(reader.U32())});
            break;
        case kBoolErr: {
            const uint8_t value = reader.U8(), isError = reader.U8();
            if (!isError) out.push_back({row, col, Variant::Boolean(value != 0)});
            break;
        }
        case kFormula:
            Formula(reader, row, col, out);
            break;
    }
}

// The formula ="" (a cell of an export for translators that a spreadsheet saved):
// its tokens are one string constant of no characters. LibreOffice caches the
// number 0 as its result, which must not become the text "0".
bool BiffCellDecoder::IsEmptyTextFormula(BiffRecordReader reader) const {
    constexpr uint8_t kStringToken = 0x17;
    if (reader.Remaining() < 8) return false;
    reader.Skip(6);  // options and a reserved field
    const uint16_t length = reader.U16();
    // BIFF8: token, character count, option byte; BIFF5: token, character count.
    if (length != (biff8_ ? 3 : 2) || reader.Remaining() < length) return false;
    return reader.U8() == kStringToken && reader.U8() == 0;
}

void BiffCellDecoder::Formula(BiffRecordReader& reader, uint32_t row, uint32_t col,
                              std::vector<Cell>& out) {
    uint8_t result[8];
    for (auto& b : result) b = reader.U8();
    if (IsEmptyTextFormula(reader)) {
        // A text result would follow in a STRING record; the cell has its value.
        pendingString_ = false;
        out.push_back({row, col, QString()});
        return;
    }
    if (result[6] != 0xFF || result[7] != 0xFF) {
        double value;
        std::memcpy(&value, result, sizeof value);
        if (std::isfinite(value)) out.push_back({row, col, value});
        return;
    }
    switch (result[0]) {
        case 0:  // a text, in the STRING record that follows
            pendingString_ = true;
            pendingRow_ = row;
            pendingCol_ = col;
            break;
        case 1:
            out.push_back({row, col, Variant::Boolean(result[2] != 0)});
            break;
        case 3:
            out.push_back({row, col, QString()});
            break;
        default:
            break;  // error values read as Null
    }
}
