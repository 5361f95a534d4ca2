// The instruction set the kernels run with, chosen once at start-up from
// what this processor and its system offer.
#include "converter/kernel.h"

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace converter {

#if defined(__x86_64__)
namespace {

// AVX and every feature the AVX2 kernels are compiled for, from CPUID, and
// from XGETBV that the system saves the AVX registers (XMM and YMM state)
// across a switch; with any compiler and C library, as the compiler
// runtime's __cpu_model is not everywhere.
bool hasavx2() noexcept {
    unsigned a, b, c, d;
    if (__get_cpuid_max(0, nullptr) < 7 || !__get_cpuid(1, &a, &b, &c, &d)) return false;
    constexpr unsigned osxsave = 1u << 27, avx = 1u << 28;
    if ((c & (osxsave | avx)) != (osxsave | avx)) return false;
    unsigned xcr0lo, xcr0hi;
    asm volatile("xgetbv" : "=a"(xcr0lo), "=d"(xcr0hi) : "c"(0));
    if ((xcr0lo & 6u) != 6u) return false;
    __cpuid_count(7, 0, a, b, c, d);
#define TABJD_FEATURE_BIT(name, bit) | 1u << bit
    constexpr unsigned wanted = 0 TABJD_AVX2_FEATURES(TABJD_FEATURE_BIT);
    return (b & wanted) == wanted;
}

} // namespace
#endif

instructionset bestinstructions() noexcept {
#if defined(__x86_64__)
    static const instructionset best = hasavx2() ? instructionset::avx2 : instructionset::sse2;
    return best;
#else
    return instructionset::swar;
#endif
}

} // namespace converter
