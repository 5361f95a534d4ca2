// The fixed-point writer: one output field, 16 columns with 5 decimals,
// exactly as printf("%16.5f") writes it.
#ifndef TABJD_CONVERTER_FIXEDPOINT_H
#define TABJD_CONVERTER_FIXEDPOINT_H

#include "converter/digits.h"
#include "converter/numbers.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace converter {

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

// What a column of fields keeps: the digits of the top of the last value
// written, which in a column seldom change.
struct fixedcache {
    std::uint64_t high = 0;                    // scaled value / 10^8
    std::uint64_t digits = digits::bytes('0'); // its eight digits
};

// formatfixed: writes value into out[0, fieldwidth) as printf("%16.5f") does:
// the exact binary value rounded to 5 decimals (ties to even), right-justified,
// a leading zero below one, a minus sign whenever the sign bit is set. A value
// that does not fit fills the field with asterisks; NaN and the infinities are
// written as NaN, Infinity and -Infinity. cache is the column's.
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

// storefield: the field's two words, its digits zero-padded, at out: the
// lead leading zeros become blanks ('0' - 0x10 is ' '), and when negative a
// minus sign goes just before the first digit left, each by subtracting or
// adding a window of a table, lead bytes in.
inline void storefield(std::uint64_t first, std::uint64_t second, unsigned lead, bool negative,
                       char* out) noexcept {
    const char* const blanks = fieldmasks.blanks + fieldwidth - lead;
    const char* const sign = fieldmasks.sign + fieldwidth + 1 - lead;
    const std::uint64_t signed_ = 0 - std::uint64_t{negative};
    digits::store(out, first - digits::load(blanks) + (digits::load(sign) & signed_));
    digits::store(out + 8, second - digits::load(blanks + 8) + (digits::load(sign + 8) & signed_));
}

// The parts of formatfixed off its usual path: a field that is not a
// number that fits (asterisks, NaN, Infinity, -Infinity), and the rounded
// value * 10^5 of a magnitude below 2^-11, mantissa * 10^5 / 2^shift.
void formatspecial(double value, char* out) noexcept;
std::uint64_t scaledsmall(std::uint64_t mantissa, int shift) noexcept;

// scaledmagnitude: round(|value| * 10^5), ties to even, exactly, for the
// bits of a magnitude below 10^11.
inline std::uint64_t scaledmagnitude(std::uint64_t magnitude) noexcept {
    constexpr std::uint64_t scale = 100000;
    // magnitude = mantissa / 2^shift exactly, and scaled = round(magnitude *
    // 10^5), ties to even, from the exact product of at most 70 bits. Below
    // 10^11 < 2^37 the shift is at least 16.
    const auto biased = static_cast<int>(magnitude >> 52);
    const std::uint64_t mantissa =
        (magnitude & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{biased != 0} << 52);
    const int shift = 1075 - biased - (biased == 0);
    if (shift >= 64) [[unlikely]]
        return scaledsmall(mantissa, shift);
    // The bits shifted out, moved to the top of a word: above half, or half
    // and an odd result, rounds up.
    const wide product = wide::product(mantissa, scale);
    std::uint64_t scaled = (product.high << (64 - shift)) | (product.low >> shift);
    const std::uint64_t rest = product.low << (64 - shift);
    constexpr std::uint64_t half = std::uint64_t{1} << 63;
    scaled += std::uint64_t{rest > half} | (std::uint64_t{rest == half} & scaled);
    return scaled;
}

// The scaled magnitudes a field holds: ten integer digits, or nine and a
// minus sign.
constexpr std::uint64_t fieldlimit(bool negative) noexcept {
    return negative ? 100000000000000u : 1000000000000000u;
}

// writefixed: the field of the value scaled / 10^5, negative when the sign
// is set; scaled must be below fieldlimit(negative). formatfixed's second
// half, for a caller that has the scaled value already.
inline void writefixed(std::uint64_t scaled, bool negative, char* out, fixedcache& cache) noexcept {
    static_assert(fieldwidth == 16 && fielddecimals == 5, "the field is built as two words");
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
    // The leading zeros become blanks, all but the units digit.
    storefield(first, second, 15 - std::max(digits::count(scaled), 6u), negative, out);
}

// writedecimal: the field of the decimal d (see numbers.h) when it has at
// most five decimals, straight from its digits. That is the field of the
// double nearest d, as formatfixed writes it: below 10^7 a double lies
// within 2^-30 of the decimal it was read from, so rounding it to five
// places gives back that decimal.
inline void writedecimal(const decimal& d, char* out) noexcept {
    // The ten integer places as text, zero-padded: the digits end at byte 9,
    // over a background of zeros (a digit is '0' with more bits set).
    // With at most seven digits, ending them at byte 6 first leaves the
    // move to byte 9 the same for every count.
    const unsigned n = d.digits;
    const std::uint64_t whole = (d.whole << 8 * (8 - n)) >> 8;
    std::uint64_t first = digits::bytes('0') | whole << 24;
    std::uint64_t second = (digits::bytes('0') & 0xFFFF) | whole >> 40;
    // Then the point and five decimals, the missing ones zeros.
    const std::uint64_t written = digits::prefix(d.decimals);
    const std::uint64_t fraction = (d.fraction & written) | (digits::bytes('0') & ~written);
    second |= std::uint64_t{'.'} << 16 | fraction << 24;
    // Leading zeros become blanks, all but the units digit, as formatfixed
    // makes them.
    const unsigned significant = n - std::min(digits::leading(d.whole, '0'), n - 1);
    storefield(first, second, 10 - significant, d.negative, out);
}

inline void formatfixed(double value, char* out, fixedcache& cache) noexcept {
    // Non-negative doubles order as their bit patterns do: one comparison
    // sends what does not fit, the infinities and NaN aside. Below 10^11 no
    // more than ten integer digits are left after rounding.
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const std::uint64_t magnitude = bits & ~(std::uint64_t{1} << 63);
    if (magnitude >= std::bit_cast<std::uint64_t>(1e11)) [[unlikely]]
        return formatspecial(value, out);
    const bool negative = (bits >> 63) != 0;
    const std::uint64_t scaled = scaledmagnitude(magnitude);
    if (scaled >= fieldlimit(negative)) [[unlikely]]
        return formatspecial(value, out);
    writefixed(scaled, negative, out, cache);
}

} // namespace converter

#endif
