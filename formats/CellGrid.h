#pragma once

#include "FileDamaged.h"
#include "SourceTable.h"
#include "Variant.h"

#include <QString>

#include <cstdint>
#include <vector>

// The cells of one worksheet as a reader finds them, by row and column, turned
// into a table the way the engine reads a sheet: the used range from its first
// non-empty row and its leftmost used column to the last ones.
class CellGrid {
  public:
    // A cell at or beyond maxColumns is a damaged file (FileDamaged is thrown,
    // naming the sheet), and so is a sheet whose table would hold more than
    // maxCells cells, empty ones included: a few cells far apart must not make
    // the reader allocate the whole rectangle between them.
    CellGrid(const QString& sheet, uint32_t maxColumns, uint64_t maxCells)
        : sheet_(sheet), maxColumns_(maxColumns), maxCells_(maxCells) {}

    void Set(uint32_t row, uint32_t col, Variant value);
    // A cell whose value cannot be read: an empty cell for the table, and an
    // unreadable cell that fails with error an import of its column. One in the
    // header row fails the table at once: its column has no name.
    void SetUnreadable(uint32_t row, uint32_t col, RuntimeError error);

    // A cell's name as Excel writes it: "D990" for row 989, column 3 (from 0).
    static QString CellName(uint32_t row, uint32_t col);

    // With a header the first row holds the column names and every later row is
    // one row of values; without one the columns are named F1, F2, ... Columns
    // without a heading get those names too. Every row is as wide as the columns.
    SourceTable Table(const QString& fileName, const QString& sheetName, bool header) &&;

  private:
    [[noreturn]] void Fail(const char* what) const;

    QString sheet_;
    uint32_t maxColumns_;
    uint64_t maxCells_;
    uint64_t cells_ = 0;  // the cells the rows hold so far
    std::vector<std::vector<Variant>> rows_;
    struct Unreadable {
        uint32_t row, col;
        RuntimeError error;
    };
    std::vector<Unreadable> unreadable_;
    uint32_t minCol_ = UINT32_MAX, maxCol_ = 0;
    bool any_ = false;
};
