#include "VectorRegisters.h"

#include <gtest/gtest.h>

#include <optional>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

// Whether the upper halves of the AVX registers are in use (bit 2 of the
// processor's XINUSE), where the processor tells it.
std::optional<bool> UpperHalvesInUse() {
#if defined(__x86_64__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    // XGETBV with ECX = 1 reads XINUSE where CPUID leaf 0Dh, sub-leaf 1 says so.
    if (!__builtin_cpu_supports("avx") || !__get_cpuid_count(0xD, 1, &a, &b, &c, &d) ||
        (a & 4) == 0)
        return std::nullopt;
    unsigned low = 0, high = 0;
    asm volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(1));
    return (low & 4) != 0;
#else
    return std::nullopt;
#endif
}

TEST(VectorRegistersTest, ClearsTheUpperHalvesAnAvxInstructionLeftInUse) {
    if (!UpperHalvesInUse()) GTEST_SKIP() << "the processor does not tell";
#if defined(__x86_64__)
    // What code built for AVX that does not clear after itself leaves behind.
    asm volatile("vpcmpeqd %%ymm0, %%ymm0, %%ymm0" ::: "xmm0");
#endif
    ASSERT_EQ(UpperHalvesInUse(), true);
    VectorRegisters::ClearUpperHalves();
    EXPECT_EQ(UpperHalvesInUse(), false);
}

}  // namespace
