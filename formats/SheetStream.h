#pragma once

#include "Variant.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <vector>

// The rows of a sheet handed from its reader, working on a thread of its own, to
// an import that uses them while the rest of the sheet is read: the header row
// as soon as it is read, then every row after it, each with its cells at their
// columns in the sheet (from 0). The reader stores the rows for its table as
// always; the stream is what the import may begin with before that table is
// whole. The rows go to the import's sink on the reader's thread, which waits
// for the sink before its first row and whenever the sink is full: memory does
// not grow with the sheet.
//
// The stream gives no rows (Header() gives nothing) when the sheet has no header
// or its header holds a cell that cannot be read; it abandons the rows given
// when the reader finds it cannot give them in their order (a writer that stores
// cells by column). The import then waits for the whole table.
class SheetStream {
  public:
    using Cells = std::vector<Variant>;

    // Takes the rows, called on the reader's thread: Add() for each row, End()
    // once, with what the reading threw, or abandoned when the rows given are void.
    class Sink {
      public:
        virtual ~Sink() = default;
        virtual void Add(const Cells& cells) = 0;
        virtual void End(std::exception_ptr failure, bool abandoned) = 0;
    };

    // The reader's side.
    // The header row, and whether rows follow in the stream.
    void Header(const Cells& cells, bool rowsFollow);
    // Waits for the import's sink; fails with RuntimeError::Cancelled() once the
    // import wants nothing more.
    void Row(const Cells& cells);
    void Abandon();
    // The reading is done, or failed (what it threw).
    void Finish(std::exception_ptr failure = nullptr);

    // The import's side.
    // Waits for the header: nothing when the stream gives no rows.
    std::optional<Cells> Header();
    // The rows from now on go to sink.
    void Attach(Sink* sink);
    // The import takes no more rows; the reader reads on for its table. Once it
    // returns the sink is called no more.
    void Leave();
    // The import wants nothing more: the reader stops at its next row.
    void Cancel();
    // How many rows the reader has read so far.
    int64_t RowsRead() const { return read_; }

  private:
    void EndSink();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Cells> header_;
    bool headerKnown_ = false;  // the header came, or it never will
    bool rowsFollow_ = false;
    Sink* sink_ = nullptr;
    bool ended_ = false;  // the sink was told the end
    bool finished_ = false, abandoned_ = false, left_ = false, cancelled_ = false;
    std::exception_ptr failure_;
    std::atomic<int64_t> read_ = 0;
};
