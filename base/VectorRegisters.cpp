#include "VectorRegisters.h"

namespace VectorRegisters {

void ClearUpperHalves() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx = __builtin_cpu_supports("avx");
    // Nothing of this program keeps a value in the upper halves: it is built
    // for SSE.
    if (avx) asm volatile("vzeroupper");
#endif
}

}  // namespace VectorRegisters
