#include "SourceRows.h"

#include <algorithm>

namespace {

enum CellType : quint8 { kNullCell, kNumberCell, kTextCell, kTrueCell, kFalseCell };

}  // namespace

QDataStream& operator<<(QDataStream& out, const StoredRow& row) {
    out << static_cast<quint32>(row.cells.size());
    for (const Variant& cell : row.cells) {
        if (cell.IsNumber()) {
            out << static_cast<quint8>(kNumberCell);
            const double number = cell.Number();
            out.writeRawData(reinterpret_cast<const char*>(&number), sizeof number);
        } else if (cell.IsText()) {
            // The spill file is read back by this process only: the units as they are.
            const QString& text = cell.Text();
            out << static_cast<quint8>(kTextCell) << static_cast<quint32>(text.size());
            out.writeRawData(reinterpret_cast<const char*>(text.utf16()),
                             static_cast<int>(text.size() * 2));
        } else if (cell.IsBoolean()) {
            out << static_cast<quint8>(cell.BooleanValue() ? kTrueCell : kFalseCell);
        } else {
            out << static_cast<quint8>(kNullCell);
        }
    }
    return out;
}

QDataStream& operator>>(QDataStream& in, StoredRow& row) {
    quint32 count = 0;
    in >> count;
    row.cells.clear();
    row.cells.reserve(count);
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        quint8 type = kNullCell;
        in >> type;
        switch (type) {
            case kNumberCell: {
                double number = 0;
                in.readRawData(reinterpret_cast<char*>(&number), sizeof number);
                row.cells.emplace_back(number);
                break;
            }
            case kTextCell: {
                quint32 size = 0;
                in >> size;
                QString text(static_cast<qsizetype>(size), Qt::Uninitialized);
                in.readRawData(reinterpret_cast<char*>(text.data()), static_cast<int>(size * 2));
                row.cells.emplace_back(std::move(text));
                break;
            }
            case kTrueCell:
            case kFalseCell:
                row.cells.push_back(Variant::Boolean(type == kTrueCell));
                break;
            default:
                row.cells.emplace_back();
                break;
        }
    }
    return in;
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
