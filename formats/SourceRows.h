#pragma once

#include "SpillList.h"
#include "Variant.h"

#include <cstddef>
#include <limits>
#include <vector>

// A row as a reader stored it: its cells from the reader's first column on, as
// many as it found. Written to a spill file cell by cell (a type byte, then the
// number or the text's UTF-16 units as they stand in memory).
struct StoredRow {
    std::vector<Variant> cells;
};
void SpillOut(SpillWriter& out, const StoredRow& row);
void SpillIn(SpillReader& in, StoredRow& row);

// The rows of a table read from an import source, however many: the first few
// thousand in memory, the rest in a temporary file (SpillList), so that a
// million rows of a text file or a workbook cost what a few thousand do.
// A reader that learns the table's columns only at its end (a sheet's leftmost
// used column, a text file's widest row) stores its rows as they come and
// gives their shape afterwards: every row is then read with its first `skip`
// cells left out, as wide as `width`, missing cells Null.
class SourceRows {
  public:
    using Row = std::vector<Variant>;

    void push_back(Row row) { rows_.push_back(StoredRow{std::move(row)}); }
    size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    void SetShape(size_t skip, size_t width) {
        skip_ = skip;
        width_ = width;
    }

    // The row at index, shaped; reading one beyond the rows in memory reads the
    // file up to it, so walk the rows with Reader or a range-for instead.
    Row operator[](size_t index) const { return Shaped(rows_[index].cells); }
    Row back() const { return (*this)[size() - 1]; }

    // Reads the rows in their order without copying them.
    class Reader {
      public:
        explicit Reader(const SourceRows& rows) : rows_(&rows), at_(rows.rows_.begin()) {}
        // Moves to the next row (the first, at the first call); false at the end.
        bool Next() {
            if (started_) ++at_;
            started_ = true;
            return !(at_ == rows_->rows_.end());
        }
        // A cell of the current row by its column in the table.
        const Variant& Cell(size_t column) const {
            static const Variant kNull;
            const std::vector<Variant>& cells = at_->cells;
            const size_t at = rows_->skip_ + column;
            return column < rows_->width_ && at < cells.size() ? cells[at] : kNull;
        }
        // The current row's cells as the reader stored them, unshaped.
        const Row& Stored() const { return at_->cells; }

      private:
        const SourceRows* rows_;
        SpillList<StoredRow>::const_iterator at_;
        bool started_ = false;
    };

    // Walks the rows shaped, each a copy: for tests and small tables.
    class const_iterator {
      public:
        const_iterator(const SourceRows* rows, SpillList<StoredRow>::const_iterator at)
            : rows_(rows), at_(std::move(at)) {}
        Row operator*() const { return rows_->Shaped(at_->cells); }
        const_iterator& operator++() {
            ++at_;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return at_ == other.at_; }

      private:
        const SourceRows* rows_;
        SpillList<StoredRow>::const_iterator at_;
    };
    const_iterator begin() const { return {this, rows_.begin()}; }
    const_iterator end() const { return {this, rows_.end()}; }

  private:
    Row Shaped(const Row& cells) const;

    SpillList<StoredRow> rows_;
    size_t skip_ = 0;
    size_t width_ = std::numeric_limits<size_t>::max();  // as stored, until shaped
};
