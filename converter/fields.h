// Reading one free-form number and writing one fixed-point output field.
#ifndef TABJD_CONVERTER_FIELDS_H
#define TABJD_CONVERTER_FIELDS_H

#include "converter/digits.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cstddef>
#include <cstdint>

namespace converter {

// What became of a token that was read as a number.
enum class verdict : unsigned char {
    ok,
    notanumber, // not of the form the field takes
    outofrange, // of the right form, but beyond the field's range
    toolong,    // longer than tokenmax: refused without being read
};

// Longest token a field takes. Memory stays flat however long a line is, so a
// token must fit in a fixed buffer; longer ones are refused.
inline constexpr std::size_t tokenmax = 1024;

// parseinteger: the whole of [first, last) as an integer field: an optional
// sign and decimal digits, within the signed 32-bit range. Anything else
// (a point, an exponent, a blank) is not an integer. value is set only on ok;
// a text longer than tokenmax is toolong.
verdict parseinteger(const char* first, const char* last, std::int32_t& value) noexcept;

// parsereal: the whole of [first, last) as a real field: an optional sign,
// digits with or without a point, an optional exponent written with e, E, d
// or D; or nan, inf, infinity in any case with an optional sign. The result is
// correctly rounded, the same double strtod gives for the text; a value too
// small for a double reads as zero, and a finite value too large for one is
// out of range. value is set only on ok; a text longer than tokenmax is toolong.
verdict parsereal(const char* first, const char* last, double& value) noexcept;

// Whether each operation on doubles is rounded to double, as the one-operation
// fast paths below need. x87 arithmetic (32-bit x86 without SSE2) keeps more
// precision (FLT_EVAL_METHOD 2): there they decline, and parsereal's general
// path, correctly rounded whatever the hardware, reads every number.
inline constexpr bool roundstodouble = FLT_EVAL_METHOD == 0;

// The powers of ten that a double holds exactly.
inline constexpr double exactpowersoften[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// exactscaled: mantissa * 10^exponent, correctly rounded, when that is one
// IEEE multiplication or division of exact operands: a mantissa of at most
// 2^53 and a power of ten of at most 10^22 (Clinger's fast path), on a
// machine where roundstodouble holds. false, with value untouched, when it
// is not.
inline bool exactscaled(std::uint64_t mantissa, int exponent, double& value) noexcept {
    if (!roundstodouble || mantissa > std::uint64_t{1} << 53 || exponent < -22 || exponent > 22)
        return false;
    const auto m = static_cast<double>(static_cast<std::int64_t>(mantissa));
    value = exponent < 0 ? m / exactpowersoften[-exponent] : m * exactpowersoften[exponent];
    return true;
}

// shortinteger, shortreal: the common token of length bytes at p, read
// without a second look: up to seven digits, and for a real an optional
// sign, up to seven digits and a point with up to seven digits after it.
// true with the value (the one parseinteger or parsereal gives) when the
// token is of that form; false, value untouched, when it is not and the
// general parser must decide (shortreal: always, where roundstodouble is
// false). The eight bytes from p, and from just past a point, must be
// readable whatever the length.
inline bool shortinteger(const char* p, std::size_t length, std::int32_t& value) noexcept {
    const std::uint64_t w = digits::load(p);
    if (length - 1 >= 7 || digits::leadingdigits(w) < length) return false;
    value = static_cast<std::int32_t>(digits::value(w, static_cast<unsigned>(length)));
    return true;
}

inline bool shortreal(const char* p, std::size_t length, double& value) noexcept {
    if (!roundstodouble) return false;
    const bool negative = *p == '-';
    const bool sign = negative || *p == '+';
    p += sign;
    length -= sign;
    // Digits, then either the end or a point and digits to the end. Without
    // decimals the fraction reads as one zero digit, over a power of ten of 1.
    const std::uint64_t w = digits::load(p);
    const unsigned n = digits::leadingdigits(w);
    const bool point = n != length;
    const std::size_t m = point ? length - n - 1 : 0;
    const std::uint64_t some = 0 - std::uint64_t{m != 0}; // a select, not a branch
    const std::uint64_t f = (digits::load(p + n + 1) & some) | (digits::bytes('0') & ~some);
    if (n == 0 || (point && p[n] != '.') || m >= 8 || digits::leadingdigits(f) < m) return false;
    // At most fourteen digits: an integer below 2^53, exact as a double, as
    // is the power of ten that divides it; the quotient is correctly rounded.
    const std::int64_t mantissa =
        std::int64_t{digits::value(w, n)} * static_cast<std::int64_t>(digits::powers[m]) +
        digits::value(f, static_cast<unsigned>(m | (m == 0)));
    const double magnitude = static_cast<double>(mantissa) / exactpowersoften[m];
    value = std::bit_cast<double>(std::bit_cast<std::uint64_t>(magnitude) | std::uint64_t{negative}
                                                                                << 63);
    return true;
}

// The exact product of two words, as its high and low words.
struct wide {
    std::uint64_t high, low;

    // a * b: one multiplication through __int128 where the compiler has it,
    // else byhalves.
    static constexpr wide product(std::uint64_t a, std::uint64_t b) noexcept;
    // a * b from the four products of their 32-bit halves, for the targets
    // without __int128 (i686, armhf).
    static constexpr wide byhalves(std::uint64_t a, std::uint64_t b) noexcept {
        constexpr std::uint64_t half = 0xFFFFFFFF;
        const std::uint64_t ll = (a & half) * (b & half), lh = (a & half) * (b >> 32);
        const std::uint64_t hl = (a >> 32) * (b & half), hh = (a >> 32) * (b >> 32);
        const std::uint64_t middle = (ll >> 32) + (lh & half) + (hl & half); // below 3 * 2^32
        return {hh + (lh >> 32) + (hl >> 32) + (middle >> 32), (middle << 32) | (ll & half)};
    }
};

constexpr wide wide::product(std::uint64_t a, std::uint64_t b) noexcept {
#if defined(__SIZEOF_INT128__)
    __extension__ typedef unsigned __int128 uint128;
    const uint128 p = static_cast<uint128>(a) * b;
    return {static_cast<std::uint64_t>(p >> 64), static_cast<std::uint64_t>(p)};
#else
    return byhalves(a, b);
#endif
}

// Output field: 16 columns, 5 decimals.
inline constexpr std::size_t fieldwidth = 16;
inline constexpr int fielddecimals = 5;

// formatfixed: writes value into out[0, fieldwidth) as printf("%16.5f") does:
// the exact binary value rounded to 5 decimals (ties to even), right-justified,
// a leading zero below one, a minus sign whenever the sign bit is set. A value
// that does not fit fills the field with asterisks; NaN and the infinities are
// written as NaN, Infinity and -Infinity.
inline void formatfixed(double value, char* out) noexcept;

// The same, for a column of values: cache keeps the digits of the top of
// the last value written, which in a column seldom change.
struct fixedcache {
    std::uint64_t high = 0;                    // scaled value / 10^8
    std::uint64_t digits = digits::bytes('0'); // its eight digits
};
inline void formatfixed(double value, char* out, fixedcache& cache) noexcept;

// Windows onto these, lead bytes in, give what turns a field's lead leading
// zeros into blanks, and the blank before its first digit into a minus sign.
struct masks {
    char blanks[2 * fieldwidth];   // fieldwidth of '0' - ' ', then zeros
    char sign[2 * fieldwidth + 8]; // '-' - ' ' at fieldwidth, else zeros
};
inline constexpr masks fieldmasks = [] {
    masks m{};
    for (std::size_t i = 0; i < fieldwidth; ++i)
        m.blanks[i] = '0' - ' ';
    m.sign[fieldwidth] = '-' - ' ';
    return m;
}();

// The parts of formatfixed off its usual path: a field that is not a
// number that fits (asterisks, NaN, Infinity, -Infinity), and the rounded
// value * 10^5 of a magnitude below 2^-11, mantissa * 10^5 / 2^shift.
void formatspecial(double value, char* out) noexcept;
std::uint64_t scaledsmall(std::uint64_t mantissa, int shift) noexcept;

inline void formatfixed(double value, char* out) noexcept {
    fixedcache none;
    formatfixed(value, out, none);
}

inline void formatfixed(double value, char* out, fixedcache& cache) noexcept {
    static_assert(fieldwidth == 16 && fielddecimals == 5, "the field is built as two words");
    constexpr std::uint64_t scale = 100000;
    // Non-negative doubles order as their bit patterns do: one comparison
    // sends what does not fit, the infinities and NaN aside. Below 10^11 no
    // more than ten integer digits are left after rounding.
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const std::uint64_t magnitude = bits & ~(std::uint64_t{1} << 63);
    if (magnitude >= std::bit_cast<std::uint64_t>(1e11)) [[unlikely]]
        return formatspecial(value, out);
    const bool negative = (bits >> 63) != 0;

    // magnitude = mantissa / 2^shift exactly, and scaled = round(magnitude *
    // 10^5), ties to even, from the exact product of at most 70 bits. Below
    // 10^11 < 2^37 the shift is at least 16.
    const auto biased = static_cast<int>(magnitude >> 52);
    const std::uint64_t mantissa =
        (magnitude & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{biased != 0} << 52);
    const int shift = 1075 - biased - (biased == 0);
    std::uint64_t scaled;
    if (shift < 64) [[likely]] {
        // The bits shifted out, moved to the top of a word: above half, or
        // half and an odd result, rounds up.
        const wide product = wide::product(mantissa, scale);
        scaled = (product.high << (64 - shift)) | (product.low >> shift);
        const std::uint64_t rest = product.low << (64 - shift);
        constexpr std::uint64_t half = std::uint64_t{1} << 63;
        scaled += std::uint64_t{rest > half} | (std::uint64_t{rest == half} & scaled);
    } else {
        scaled = scaledsmall(mantissa, shift);
    }
    // Ten integer digits, or nine and a minus sign.
    if (scaled >= (negative ? 100000000000000u : 1000000000000000u)) [[unlikely]]
        return formatspecial(value, out);

    // The fifteen digits of scaled, zero-padded, laid out as the field:
    // first holds the integer digits 1 to 8, second the last two, the
    // point and the decimals.
    constexpr std::uint64_t hundredmillion = 100000000;
    const std::uint64_t high = scaled / hundredmillion;
    if (high != cache.high) [[unlikely]] {
        cache.high = high;
        cache.digits = digits::eight(static_cast<std::uint32_t>(high));
    }
    const std::uint64_t h = cache.digits;
    const std::uint64_t l =
        digits::eight(static_cast<std::uint32_t>(scaled - high * hundredmillion));
    const std::uint64_t first = (h >> 8) | (l << 56);
    const std::uint64_t second =
        ((l >> 8) & 0xFFFF) | (std::uint64_t{'.'} << 16) | (l & 0xFFFFFFFFFF000000u);

    // The leading zeros, all but the units digit, become blanks ('0' - 0x10
    // is ' '), and a minus sign goes just before the first digit left: each
    // by subtracting or adding a window of a table, lead bytes in.
    const unsigned lead = 15 - std::max(digits::count(scaled), 6u);
    const char* const blanks = fieldmasks.blanks + fieldwidth - lead;
    const char* const sign = fieldmasks.sign + fieldwidth + 1 - lead;
    const std::uint64_t signed_ = 0 - std::uint64_t{negative};
    digits::store(out, first - digits::load(blanks) + (digits::load(sign) & signed_));
    digits::store(out + 8, second - digits::load(blanks + 8) + (digits::load(sign + 8) & signed_));
}

} // namespace converter

#endif
