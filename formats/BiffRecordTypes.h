#pragma once

#include <cstdint>

// The types of the BIFF records that the readers read and the writers write,
// as Excel 97-2003 (BIFF8) and Excel 5.0/95 (BIFF5) number them.
namespace BiffRecord {

enum : uint16_t {
    kFormula = 0x0006,
    kEof = 0x000A,
    kFilePass = 0x002F,  // the workbook is encrypted
    kFont = 0x0031,
    kContinue = 0x003C,
    kWindow1 = 0x003D,
    kPane = 0x0041,
    kCodePage = 0x0042,
    kColInfo = 0x007D,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kMulBlank = 0x00BE,
    kRString = 0x00D6,
    kXf = 0x00E0,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kDimensions = 0x0200,
    kBlank = 0x0201,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kWindow2 = 0x023E,
    kRk = 0x027E,
    kStyle = 0x0293,
    kBof = 0x0809,
};

}  // namespace BiffRecord
