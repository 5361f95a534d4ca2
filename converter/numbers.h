// The number readers: one free-form token as an integer or a real field, by a
// quick path for the common short token and a general path for the rest.
#ifndef TABJD_CONVERTER_NUMBERS_H
#define TABJD_CONVERTER_NUMBERS_H

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

// Whether each operation on doubles is rounded to double, as nearest's one
// division needs. x87 arithmetic (32-bit x86 without SSE2) keeps more
// precision (FLT_EVAL_METHOD 2): there it declines, and parsereal,
// correctly rounded whatever the hardware, reads every number.
inline constexpr bool roundstodouble = FLT_EVAL_METHOD == 0;

// The powers of ten nearest divides by, each exact as a double.
inline constexpr double exactpowersoften[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};

// quickinteger, quickdecimal: the common token (never empty) of length bytes at p, read
// without a second look: up to seven digits, and for a decimal an optional
// sign, up to seven digits and a point with up to seven digits after it.
// true with the value (parseinteger's, or the decimal whose nearest double
// is parsereal's) when the token is of that form; false, value untouched,
// when it is not and the general parser must decide. The eight bytes from
// p, and from just past the digits and a point, must be readable whatever
// the length.
inline bool quickinteger(const char* p, std::size_t length, std::int32_t& value) noexcept {
    const std::uint64_t w = digits::load(p);
    if (digits::leadingdigits(w) < length) return false; // at most 7: longer ones too
    value = static_cast<std::int32_t>(digits::value(w, static_cast<unsigned>(length)));
    return true;
}
// A decimal as quickdecimal found it: [-]whole[.fraction], its digits as
// text in words, the first digit in the lowest byte.
struct decimal {
    std::uint64_t whole;    // the integer digits, then what follows them
    std::uint64_t fraction; // the fraction digits, then what follows them
    unsigned digits;        // of the whole: 1 to 7
    unsigned decimals;      // 0 to 7 (0: fraction is any bytes)
    bool negative;
};

inline bool quickdecimal(const char* p, std::size_t length, decimal& value) noexcept {
    const bool negative = *p == '-';
    const bool sign = negative || *p == '+';
    p += sign;
    length -= sign;
    // Digits, then either the end or a point and digits to the end.
    const std::uint64_t w = digits::load(p);
    const unsigned n = digits::leadingdigits(w);
    const bool point = n != length;
    const std::size_t m = (length - n - 1) & (0 - std::size_t{point}); // selects, not branches
    const std::uint64_t f = digits::load(p + n + 1);
    if (n == 0 || (point && p[n] != '.') || m >= 8 || digits::leadingdigits(f) < m) return false;
    value = {w, f, n, static_cast<unsigned>(m), negative};
    return true;
}

// The decimal's digits as one integer, below 10^14: it is that over
// 10^decimals.
inline std::int64_t mantissa(const decimal& d) noexcept {
    return std::int64_t{digits::value(d.whole, d.digits)} *
               static_cast<std::int64_t>(digits::powers[d.decimals]) +
           (d.decimals != 0 ? digits::value(d.fraction, d.decimals) : 0);
}

// nearest: the double nearest a decimal quickdecimal read. At most
// fourteen digits make an integer below 2^53, exact as a double, as is the
// power of ten that divides it, so the quotient is correctly rounded where
// roundstodouble holds; elsewhere false, and the general parser decides.
inline bool nearest(const decimal& d, double& value) noexcept {
    if (!roundstodouble) return false;
    const double magnitude = static_cast<double>(mantissa(d)) / exactpowersoften[d.decimals];
    value = std::bit_cast<double>(std::bit_cast<std::uint64_t>(magnitude) |
                                  std::uint64_t{d.negative} << 63);
    return true;
}

} // namespace converter

#endif
