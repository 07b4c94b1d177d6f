#pragma once

#include "BiffRecordReader.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The shared strings of a BIFF8 workbook (its SST record and the CONTINUE records
// after it), found where they stand when the workbook's globals are read and
// made into texts only when a cell asks for one: the globals are read before
// the first row can go to the import, the cells beside it.
class BiffSharedStrings {
  public:
    // Finds the strings of an SST record. The segments stay where they are (in
    // the workbook's bytes) as long as this table is used. A string that does
    // not read whole throws FileDamaged, as the reading of its text would.
    void Read(std::span<const std::span<const uint8_t>> segments);

    size_t size() const { return starts_.size(); }
    // The string at index, which must be below size().
    QString At(size_t index) const;

  private:
    std::vector<std::span<const uint8_t>> segments_;
    std::vector<BiffRecordReader::Position> starts_;
};
