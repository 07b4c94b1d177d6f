#pragma once

#include "SheetStream.h"
#include "SourceFormats.h"
#include "SourceTable.h"

#include <QString>

#include <exception>
#include <optional>
#include <thread>

// A workbook's sheet read on a thread of its own, so that an import can begin
// with its first rows while the rest is read (see SheetStream). The whole table
// is there too once the reading is done.
class SheetReading {
  public:
    // Starts reading the sheet and waits for its header. When the rows are not
    // streamed it waits for the whole table, and fails as the format's reader does.
    SheetReading(const SourceFormats::Format& format, const QString& path, const QString& table,
                 SourceFormats::ReadOptions options);
    // Stops the reading and waits for its thread.
    ~SheetReading();
    SheetReading(const SheetReading&) = delete;
    SheetReading& operator=(const SheetReading&) = delete;

    // The header row's cells at their columns when the rows are streamed.
    const std::optional<SheetStream::Cells>& Header() const { return header_; }
    SheetStream& Stream() { return stream_; }

    // Waits for the whole table; fails with what the reading threw.
    const SourceTable& Table();
    // The same, taken: for a sheet whose rows are not streamed.
    SourceTable Take();

  private:
    SheetStream stream_;
    std::optional<SheetStream::Cells> header_;
    std::optional<SourceTable> table_;
    std::exception_ptr failure_;
    std::thread thread_;
};
