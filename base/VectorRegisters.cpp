#include "VectorRegisters.h"

namespace VectorRegisters {

void ClearUpperHalves() {
#if defined(__x86_64__)
    static const bool avx = __builtin_cpu_supports("avx");
    // The registers are named as clobbered, so that no value stays in them
    // across the instruction even where the compiler was told to use AVX.
    if (avx)
        asm volatile("vzeroupper" ::
                         : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8",
                           "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
#endif
}

}  // namespace VectorRegisters
