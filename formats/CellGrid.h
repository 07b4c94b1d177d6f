#pragma once

#include "FileDamaged.h"
#include "SheetStream.h"
#include "SourceTable.h"
#include "Variant.h"

#include <QString>

#include <cstdint>
#include <map>
#include <vector>

// The cells of one worksheet as a reader finds them, by row and column, turned
// into a table the way the engine reads a sheet: the used range from its first
// non-empty row and its leftmost used column to the last ones.
//
// Readers give the cells row by row, as workbooks store them: every finished
// row goes on to the table's rows at once (which keep all but a few thousand in
// a temporary file), so a sheet of a million rows is never held whole. A cell
// of a row before the current one (a writer that stores cells by column) makes
// the grid gather the rows in memory and go on as they come.
class CellGrid {
  public:
    // A cell at or beyond maxColumns is a damaged file (FileDamaged is thrown,
    // naming the sheet), and so is a sheet whose table would hold more than
    // maxCells cells, empty ones included: a few cells far apart must not make
    // the reader allocate the whole rectangle between them. With a header the
    // first row holds the column names and every later row is one row of
    // values; without one the columns are named F1, F2, ...
    CellGrid(const QString& sheet, uint32_t maxColumns, uint64_t maxCells, bool header)
        : sheet_(sheet), maxColumns_(maxColumns), maxCells_(maxCells), header_(header) {}

    // Hands the header and every row after it to stream as well, as they are read.
    void StreamTo(SheetStream* stream);

    void Set(uint32_t row, uint32_t col, Variant value);
    // A cell whose value cannot be read: an empty cell for the table, and an
    // unreadable cell that fails with error an import of its column. One in the
    // header row fails the table at once: its column has no name.
    void SetUnreadable(uint32_t row, uint32_t col, RuntimeError error);

    // A cell's name as Excel writes it: "D990" for row 989, column 3 (from 0).
    static QString CellName(uint32_t row, uint32_t col);

    // The table. Columns without a heading are named F1, F2, ... too. Every row
    // is read as wide as the columns.
    SourceTable Table(const QString& fileName, const QString& sheetName) &&;

  private:
    using Cells = std::vector<Variant>;

    [[noreturn]] void Fail(const char* what) const;
    Cells& CellsOf(uint32_t row);
    void FinishRow();
    void AddRow(Cells cells);
    void Gather();
    void TableFromGathered(SourceTable& table);

    QString sheet_;
    uint32_t maxColumns_;
    uint64_t maxCells_;
    bool header_;
    uint64_t cells_ = 0;  // the cells the rows hold so far
    bool any_ = false;
    uint32_t minCol_ = UINT32_MAX, maxCol_ = 0;
    uint32_t first_ = 0;  // the first non-empty row

    // Row by row: the row being read; the rows before it went to rows_.
    uint32_t current_ = 0;
    Cells currentCells_;
    Cells headerCells_;  // the first row, with a header
    SourceRows rows_;    // the rows after the header (or from the first), as stored

    // Gathered: every row from 0, once a cell came for a row before the current one.
    bool gathered_ = false;
    std::vector<Cells> gatheredRows_;

    struct Unreadable {
        uint32_t row;
        RuntimeError error;
    };
    std::map<uint32_t, Unreadable> unreadable_;  // of each column the first
    SheetStream* stream_ = nullptr;
};
