#pragma once

#include "BiffRecordReader.h"
#include "BiffSharedStrings.h"
#include "Variant.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class CodePageConverter;

// Turns the cell records of a BIFF5/BIFF8 worksheet into cells: LABELSST, LABEL,
// RSTRING, NUMBER, RK, MULRK, BOOLERR and FORMULA with its cached result (a text
// result arrives in the STRING record that follows; the formula ="" is the empty
// text whatever result was cached for it). Empty and error cells give no value.
// A label that names a shared string that is not there gives an unreadable
// cell. Other records give no cell. A record that does not hold what its type
// says throws FileDamaged.
class BiffCellDecoder {
  public:
    struct Cell {
        uint32_t row;
        uint32_t col;
        Variant value;
        const char* unreadable = nullptr;  // why the value cannot be read
    };

    // sharedStrings must outlive the decoder; codePage gives the workbook's code
    // page converter for BIFF5 texts when one is needed.
    BiffCellDecoder(bool biff8, const BiffSharedStrings& sharedStrings,
                    std::function<CodePageConverter&()> codePage);

    // Decodes one record of the sheet into cells, appended to out.
    void Decode(uint16_t type, BiffRecordReader reader, std::vector<Cell>& out);

  private:
    QString String(BiffRecordReader& reader, bool longCount);
    void Formula(BiffRecordReader& reader, uint32_t row, uint32_t col, std::vector<Cell>& out);
    bool IsEmptyTextFormula(BiffRecordReader reader) const;

    bool biff8_;
    const BiffSharedStrings& sharedStrings_;
    std::function<CodePageConverter&()> codePage_;
    // A FORMULA whose text result comes in the next STRING record.
    bool pendingString_ = false;
    uint32_t pendingRow_ = 0, pendingCol_ = 0;
};
