#include "SourceRows.h"

#include <algorithm>

namespace {

enum CellType : quint8 { kNullCell, kNumberCell, kTextCell, kTrueCell, kFalseCell, kUtf8Cell };

}  // namespace

void SpillOut(SpillWriter& out, const StoredRow& row) {
    out.Int(static_cast<int64_t>(row.cells.size()));
    for (const Variant& cell : row.cells) {
        if (cell.IsNumber()) {
            out.Byte(kNumberCell);
            out.Real(cell.Number());
        } else if (const QByteArray* utf8 = cell.Utf8Text()) {
            out.Byte(kUtf8Cell);
            out.Bytes(*utf8);
        } else if (cell.IsText()) {
            out.Byte(kTextCell);
            out.Text(cell.Text());
        } else if (cell.IsBoolean()) {
            out.Byte(cell.BooleanValue() ? kTrueCell : kFalseCell);
        } else {
            out.Byte(kNullCell);
        }
    }
}

void SpillIn(SpillReader& in, StoredRow& row) {
    const int64_t count = in.Int();
    row.cells.clear();
    for (int64_t i = 0; i < count && !in.Failed(); ++i) {
        switch (in.Byte()) {
            case kNumberCell:
                row.cells.emplace_back(in.Real());
                break;
            case kTextCell:
                row.cells.emplace_back(in.Text());
                break;
            case kUtf8Cell:
                row.cells.push_back(Variant::Utf8(in.Bytes()));
                break;
            case kTrueCell:
                row.cells.push_back(Variant::Boolean(true));
                break;
            case kFalseCell:
                row.cells.push_back(Variant::Boolean(false));
                break;
            default:
                row.cells.emplace_back();
                break;
        }
    }
}

SourceRows::Row SourceRows::Shaped(const Row& cells) const {
    if (skip_ == 0 && width_ == std::numeric_limits<size_t>::max()) return cells;
    Row shaped;
    shaped.reserve(width_);
    for (size_t i = skip_; i < cells.size() && shaped.size() < width_; ++i)
        shaped.push_back(cells[i]);
    shaped.resize(width_);
    return shaped;
}
