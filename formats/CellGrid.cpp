#include "CellGrid.h"

#include <algorithm>

void CellGrid::Fail(const char* what) const {
    throw FileDamaged{QStringLiteral("Tabelle %1: %2").arg(sheet_, QString::fromUtf8(what))};
}

// The cells of row, a later row finishing the current one.
CellGrid::Cells& CellGrid::CellsOf(uint32_t row) {
    if (gathered_) {
        if (gatheredRows_.size() <= row) {
            cells_ += row + 1 - gatheredRows_.size();  // an empty row costs about a cell
            if (cells_ > maxCells_) Fail("zu viele Zellen");
            gatheredRows_.resize(row + 1);
        }
        return gatheredRows_[row];
    }
    if (!any_) {
        cells_ += row + 1;
        if (cells_ > maxCells_) Fail("zu viele Zellen");
        first_ = current_ = row;
        return currentCells_;
    }
    if (row == current_) return currentCells_;
    if (row < current_) {
        Gather();
        return CellsOf(row);
    }
    cells_ += row - current_;
    if (cells_ > maxCells_) Fail("zu viele Zellen");
    FinishRow();
    for (uint32_t empty = current_ + 1; empty < row; ++empty) AddRow({});
    current_ = row;
    return currentCells_;
}

void CellGrid::StreamTo(SheetStream* stream) {
    stream_ = stream;
    // Without a header the columns are named by their place in the used range,
    // which only the whole sheet tells.
    if (stream_ && !header_) stream_->Abandon();
}

void CellGrid::FinishRow() {
    if (header_ && current_ == first_) {
        headerCells_ = std::move(currentCells_);
        if (stream_) {
            const bool readable =
                std::none_of(unreadable_.begin(), unreadable_.end(),
                             [&](const auto& bad) { return bad.second.row == first_; });
            stream_->Header(headerCells_, readable);
        }
    } else {
        AddRow(std::move(currentCells_));
    }
    currentCells_ = Cells();
}

void CellGrid::AddRow(Cells cells) {
    if (stream_) stream_->Row(cells);
    rows_.push_back(std::move(cells));
}

// Takes the rows read so far back into memory, each at its place.
void CellGrid::Gather() {
    gatheredRows_.resize(current_ + 1);
    uint32_t row = first_;
    if (header_) gatheredRows_[row++] = std::move(headerCells_);
    for (SourceRows::Reader reader(rows_); reader.Next(); ++row)
        gatheredRows_[row] = reader.Stored();
    gatheredRows_[current_] = std::move(currentCells_);
    rows_ = SourceRows();
    gathered_ = true;
    if (stream_) stream_->Abandon();
}

void CellGrid::Set(uint32_t row, uint32_t col, Variant value) {
    if (col >= maxColumns_) Fail("Zelle außerhalb der Spalten des Tabellenblatts");
    Cells& cells = CellsOf(row);
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
    const auto known = unreadable_.find(col);
    if (known == unreadable_.end())
        unreadable_.emplace(col, Unreadable{row, std::move(error)});
    else if (row < known->second.row)
        known->second = Unreadable{row, std::move(error)};
}

QString CellGrid::CellName(uint32_t row, uint32_t col) {
    QString letters;
    for (uint32_t n = col + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + static_cast<char16_t>((n - 1) % 26)));
    return letters + QString::number(static_cast<qulonglong>(row) + 1);
}

// The rows gathered in memory go to the table, each without the columns left of it.
void CellGrid::TableFromGathered(SourceTable& table) {
    size_t first = 0;
    while (first < gatheredRows_.size() && gatheredRows_[first].empty()) ++first;
    first_ = static_cast<uint32_t>(first);
    if (header_) headerCells_ = std::move(gatheredRows_[first]);
    for (size_t r = header_ ? first + 1 : first; r < gatheredRows_.size(); ++r)
        table.rows.push_back(std::move(gatheredRows_[r]));
    gatheredRows_.clear();
}

SourceTable CellGrid::Table(const QString& fileName, const QString& sheetName) && {
    SourceTable table;
    table.fileName = fileName;
    table.tableName = sheetName;
    if (!any_) return table;
    if (gathered_) {
        TableFromGathered(table);
    } else {
        FinishRow();
        table.rows = std::move(rows_);
    }
    const size_t width = maxCol_ - minCol_ + 1;
    const uint64_t rows = table.rows.size() + (header_ ? 1 : 0);
    if (static_cast<uint64_t>(width) * rows > maxCells_) Fail("zu viele Zellen");
    for (uint32_t c = minCol_; c <= maxCol_; ++c) {
        Variant head = header_ && c < headerCells_.size() ? headerCells_[c] : Variant();
        QString name = head.ToText();
        // Columns without a heading get the names the engine gives them.
        if (head.IsNull() || name.isEmpty()) name = QStringLiteral("F%1").arg(c - minCol_ + 1);
        table.columns.append(name);
    }
    std::vector<std::pair<uint32_t, Unreadable*>> unreadable;
    for (auto& [col, bad] : unreadable_) {
        if (header_ && bad.row == first_) throw bad.error;
        unreadable.emplace_back(col, &bad);
    }
    std::stable_sort(unreadable.begin(), unreadable.end(), [](const auto& a, const auto& b) {
        return a.second->row != b.second->row ? a.second->row < b.second->row : a.first < b.first;
    });
    for (auto& [col, bad] : unreadable)
        table.unreadable.push_back({col - minCol_, std::move(bad->error)});
    table.rows.SetShape(minCol_, width);
    return table;
}
