#pragma once

// The upper halves of the processor's vector registers.
//
// Code that uses the 256-bit AVX registers and returns without clearing their
// upper halves leaves its thread in a state where every later SSE instruction
// waits on those halves; something of what Qt's windows run at start and when
// they paint does so (the processor's XINUSE bits show it). SQLite and the
// conversions are built for SSE: an import in the windows ran half again as
// long as the same import on the command line. Long work clears the halves
// first (on the thread it runs on, and again after the windows handled their
// events).
namespace VectorRegisters {

// Clears the upper halves (vzeroupper) on a processor with AVX; does nothing
// on one without, or on another architecture.
void ClearUpperHalves();

}  // namespace VectorRegisters
