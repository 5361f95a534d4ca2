// The block kernel: the row phase on a span of row text in memory. It turns
// the rows into row lines with no I/O and no state of its own, so that any
// thread can run it on a block of the row phase's ring (ring.h).
//
// One kernel is compiled for each row layout and instruction set; which
// instruction set runs is chosen once, at start-up.
#ifndef TABJD_CONVERTER_KERNEL_H
#define TABJD_CONVERTER_KERNEL_H

#include "converter/fixedpoint.h"
#include "converter/julday.h"
#include "converter/layout.h"
#include "converter/numbers.h"
#include "converter/rowparts.h"
#include "converter/rowscanner.h"
#include "converter/status.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace converter {

// Why a kernel stopped.
enum class halt : unsigned char {
    pastend, // the row at stop does not end inside the block: it needs what follows
    full,    // no room for another row line
    failed,  // the row at stop has a field that does not convert: see fail
    ended,   // the input ends at stop or inside the row there (final blocks only)
};

struct blockresult {
    const char* stop; // the start of the first row not converted
    char* out;        // the end of the row lines made
    linecount line;   // the line stop is on
    halt why;
    failure fail;   // the first failure, when failed
    sightings seen; // in the rows converted, and the row at stop
};

// Each row line: two fixed-point fields and a line end.
inline constexpr std::size_t rowlength = 2 * fieldwidth + 1;

// A kernel: converts the rows of the block in into row lines at [out,
// limit). The window bytes after in.end must be readable.
using blockkernel = blockresult(const textspan& in, char* out, char* limit) noexcept;

// What finds the usual row's values at once: masks made with AVX2, SSE2 or
// 64-bit words.
enum class instructionset : unsigned char { avx2, sse2, swar };
inline constexpr std::size_t instructionsets = 3;

// The best instruction set this processor has, found once.
instructionset bestinstructions() noexcept;

} // namespace converter

// The kernel's body, compiled once for each instruction set: each gives the
// lanes that classify a window, as many bytes a step as its registers hold.
#if defined(__x86_64__)
// What the AVX2 kernels are compiled for beyond AVX, each with its bit in
// EBX of CPUID leaf 7: the check at start-up (kernel.cpp) reads this list.
#define TABJD_AVX2_FEATURES(F) F(avx2, 5) F(bmi, 3) F(bmi2, 8)
#define TABJD_FEATURE_NAME(name, bit) "," #name
#define TABJD_AVX2_TARGET "avx" TABJD_AVX2_FEATURES(TABJD_FEATURE_NAME)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target(TABJD_AVX2_TARGET))), apply_to = function)
#else
// GCC expands no macro in #pragma, but does in _Pragma's argument.
#define TABJD_PRAGMA(...) TABJD_PRAGMA_TEXT(__VA_ARGS__)
#define TABJD_PRAGMA_TEXT(...) _Pragma(#__VA_ARGS__)
#pragma GCC push_options
TABJD_PRAGMA(GCC target(TABJD_AVX2_TARGET))
#endif
namespace converter::kernel::avx2 {
struct lanes {
    using bytes = __m256i;
    static constexpr unsigned width = 32;
    static bytes load(const char* p) noexcept {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    static bytes equal(bytes x, bytes y) noexcept { return _mm256_cmpeq_epi8(x, y); }
    static bytes equal(bytes x, char b) noexcept { return equal(x, _mm256_set1_epi8(b)); }
    static bytes either(bytes x, bytes y) noexcept { return _mm256_or_si256(x, y); }
    static std::uint64_t bits(bytes x) noexcept {
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(x));
    }
    // The separating bytes in one look-up: each is the one byte of the
    // table at its low four bits (a byte with the top bit set finds 0).
    static bytes separating(bytes x) noexcept {
        static constexpr auto table = [] {
            std::array<char, 32> t{};
            for (const char b : {blankbytes[0], blankbytes[1], blankbytes[2], lineend, comma})
                t[b & 15] = t[16 + (b & 15)] = b;
            return t;
        }();
        static_assert(table[0] == ' ' && table[9] == '\t' && table[10] == '\n' &&
                      table[12] == ',' && table[13] == '\r');
        return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(load(table.data()), x), x);
    }
};
} // namespace converter::kernel::avx2
#define TABJD_KERNEL avx2
#include "converter/kernel.inc"
#undef TABJD_KERNEL
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
namespace converter::kernel::sse2 {
struct lanes {
    using bytes = __m128i;
    static constexpr unsigned width = 16;
    static bytes load(const char* p) noexcept {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    static bytes equal(bytes x, bytes y) noexcept { return _mm_cmpeq_epi8(x, y); }
    static bytes equal(bytes x, char b) noexcept { return equal(x, _mm_set1_epi8(b)); }
    static bytes either(bytes x, bytes y) noexcept { return _mm_or_si128(x, y); }
    static std::uint64_t bits(bytes x) noexcept {
        return static_cast<std::uint16_t>(_mm_movemask_epi8(x));
    }
};
} // namespace converter::kernel::sse2
#define TABJD_KERNEL sse2
#include "converter/kernel.inc"
#undef TABJD_KERNEL
#endif
// Lanes of 64-bit words, for classifying a window on any machine (SWAR:
// SIMD within a register). A lane is a byte; a true one has its top bit set.
namespace converter::kernel::swar {

// The top bit of each byte of x that is not zero, exactly: adding 0x7F to
// the low seven bits sets the top bit of every nonzero byte without a carry
// into the next (Hacker's Delight, 2nd ed., 6-1, "Find First 0-Byte").
constexpr std::uint64_t nonzero(std::uint64_t x) noexcept {
    constexpr std::uint64_t low7 = digits::bytes(0x7F);
    return ((x & low7) + low7) | x;
}

struct lanes {
    using bytes = std::uint64_t;
    static constexpr unsigned width = 8;
    static bytes load(const char* p) noexcept { return digits::load(p); }
    static bytes equal(bytes x, bytes y) noexcept { return ~nonzero(x ^ y) & digits::bytes(0x80); }
    static bytes equal(bytes x, char b) noexcept {
        return equal(x, digits::bytes(static_cast<unsigned char>(b)));
    }
    static bytes either(bytes x, bytes y) noexcept { return x | y; }
    // The top bits, first byte lowest, gathered into 8 bits: the product
    // moves each to its own place in the top byte, no two products meeting.
    static std::uint64_t bits(bytes x) noexcept { return ((x >> 7) * 0x0102040810204080u) >> 56; }
};

} // namespace converter::kernel::swar
#define TABJD_KERNEL swar
#include "converter/kernel.inc"
#undef TABJD_KERNEL

namespace converter {

// A row layout with its kernels, by instruction set (null for one this
// build lacks).
struct rowlayout {
    layout fields;
    blockkernel* kernels[instructionsets];
};
template <const auto& fields>
inline constexpr rowlayout rowlayoutof{fields,
                                       {
#if defined(__x86_64__)
                                           kernel::avx2::rowsof<fields>,
                                           kernel::sse2::rowsof<fields>,
#else
                                           nullptr,
                                           nullptr,
#endif
                                           kernel::swar::rowsof<fields>,
                                       }};

} // namespace converter

#endif
