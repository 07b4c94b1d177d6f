#include "CellGrid.h"

#include <algorithm>

void CellGrid::Fail(const char* what) const {
    throw FileDamaged{QStringLiteral("Tabelle %1: %2").arg(sheet_, QString::fromUtf8(what))};
}

void CellGrid::Set(uint32_t row, uint32_t col, Variant value) {
    if (col >= maxColumns_) Fail("Zelle außerhalb der Spalten des Tabellenblatts");
    if (rows_.size() <= row) {
        cells_ += row + 1 - rows_.size();  // an empty row costs about a cell
        if (cells_ > maxCells_) Fail("zu viele Zellen");
        rows_.resize(row + 1);
    }
    auto& cells = rows_[row];
    // A new row is likely as wide as the rows before it: one allocation, not one
    // per cell. Bounded, so that one cell far right does not widen every row early.
    if (cells.empty() && any_) cells.reserve(std::min<uint32_t>(std::max(col, maxCol_) + 1, 32));
    if (cells.size() <= col) {
        cells_ += col + 1 - cells.size();
        if (cells_ > maxCells_) Fail("zu viele Zellen");
        cells.resize(col + 1);
    }
    cells[col] = std::move(value);
    minCol_ = std::min(minCol_, col);
    maxCol_ = std::max(maxCol_, col);
    any_ = true;
}

void CellGrid::SetUnreadable(uint32_t row, uint32_t col, RuntimeError error) {
    Set(row, col, Variant());
    unreadable_.push_back({row, col, std::move(error)});
}

QString CellGrid::CellName(uint32_t row, uint32_t col) {
    QString letters;
    for (uint32_t n = col + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + static_cast<char16_t>((n - 1) % 26)));
    return letters + QString::number(static_cast<qulonglong>(row) + 1);
}

SourceTable CellGrid::Table(const QString& fileName, const QString& sheetName, bool header) && {
    SourceTable table;
    table.fileName = fileName;
    table.tableName = sheetName;
    if (!any_) return table;
    size_t first = 0;
    while (first < rows_.size() && rows_[first].empty()) ++first;
    auto cell = [&](size_t row, uint32_t col) -> Variant {
        const auto& cells = rows_[row];
        return col < cells.size() ? cells[col] : Variant();
    };
    for (uint32_t c = minCol_; c <= maxCol_; ++c) {
        Variant head = header ? cell(first, c) : Variant();
        QString name = head.ToText();
        // Columns without a heading get the names the engine gives them.
        if (head.IsNull() || name.isEmpty()) name = QStringLiteral("F%1").arg(c - minCol_ + 1);
        table.columns.append(name);
    }
    const size_t width = maxCol_ - minCol_ + 1;
    if (static_cast<uint64_t>(width) * (rows_.size() - first) > maxCells_) Fail("zu viele Zellen");
    std::stable_sort(unreadable_.begin(), unreadable_.end(), [](const auto& a, const auto& b) {
        return a.row != b.row ? a.row < b.row : a.col < b.col;
    });
    for (Unreadable& bad : unreadable_) {
        if (header && bad.row == first) throw bad.error;
        table.unreadable.push_back({bad.col - minCol_, std::move(bad.error)});
    }
    table.rows.reserve(rows_.size() - first);
    for (size_t r = header ? first + 1 : first; r < rows_.size(); ++r) {
        // The row's cells become the table's row: drop the columns left of the table.
        std::vector<Variant> values = std::move(rows_[r]);
        if (minCol_ > 0 && !values.empty())
            values.erase(values.begin(), values.begin() + std::min<size_t>(minCol_, values.size()));
        values.resize(width);
        table.rows.push_back(std::move(values));
    }
    return table;
}
