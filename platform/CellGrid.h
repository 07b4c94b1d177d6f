#pragma once

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
    // A cell at or beyond maxColumns is a damaged file (Damaged is thrown).
    explicit CellGrid(uint32_t maxColumns) : maxColumns_(maxColumns) {}

    struct Damaged {
        const char* what;
    };

    void Set(uint32_t row, uint32_t col, Variant value);

    // With a header the first row holds the column names and every later row is
    // one row of values; without one the columns are named F1, F2, ... Columns
    // without a heading get those names too. Every row is as wide as the columns.
    SourceTable Table(const QString& fileName, const QString& sheetName, bool header) &&;

  private:
    uint32_t maxColumns_;
    std::vector<std::vector<Variant>> rows_;
    uint32_t minCol_ = UINT32_MAX, maxCol_ = 0;
    bool any_ = false;
};
