// Double arithmetic that gives the same bits on every machine: what the x87
// of 32-bit x86 needs for it.
#ifndef TABJD_CONVERTER_PRECISION_H
#define TABJD_CONVERTER_PRECISION_H

#include <cfloat>
#if defined(__i386__)
#include <fpu_control.h>
#endif

namespace converter {

// rounded: v rounded to its type. Where the hardware keeps more precision
// (the x87's 64 bits: FLT_EVAL_METHOD 2) only a store drops it; elsewhere
// v already is.
template <typename T> inline T rounded(T v) noexcept {
#if FLT_EVAL_METHOD != 0
    volatile T stored = v;
    return stored;
#else
    return v;
#endif
}

// x87double: for as long as it lives, x87 arithmetic rounds to double's 53
// bits rather than its own 64, so that rounding a result to double once more
// (rounded(), a store) changes nothing: rounding to 64 bits and then to 53
// can give another double than rounding once. On 32-bit x86 only, whether
// or not this code uses the x87: the C++ library's own code does (its
// from_chars, for one). Elsewhere it does nothing.
struct x87double {
#if defined(__i386__)
    fpu_control_t saved;
    x87double() noexcept {
        _FPU_GETCW(saved);
        fpu_control_t word = (saved & ~_FPU_EXTENDED) | _FPU_DOUBLE;
        // The change comes before the arithmetic, and the restore after it.
        asm volatile("fldcw %0" : : "m"(word) : "memory");
    }
    ~x87double() {
        asm volatile("fldcw %0" : : "m"(saved) : "memory");
    }
    x87double(const x87double&) = delete;
    x87double& operator=(const x87double&) = delete;
#endif
};

} // namespace converter

#endif
