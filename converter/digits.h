// Decimal digits eight bytes at a time: counting and reading the digits at
// the start of a 64-bit word of text, and writing eight digits as one word.
// A word holds text in memory order: its first byte is the lowest.
#ifndef TABJD_CONVERTER_DIGITS_H
#define TABJD_CONVERTER_DIGITS_H

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace converter {

// ASCII digits and letters, whatever the locale.
constexpr bool isdigitchar(char c) noexcept {
    return static_cast<unsigned char>(c - '0') < 10;
}
constexpr char lowercase(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

} // namespace converter

namespace converter::digits {

constexpr std::uint64_t bytes(unsigned char b) noexcept {
    return 0x0101010101010101u * b;
}

// The eight bytes at p as a word.
inline std::uint64_t load(const char* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    return w;
}

// The word w stored as eight bytes at p.
inline void store(char* p, std::uint64_t w) noexcept {
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    std::memcpy(p, &w, sizeof w);
}

// The index of the lowest bit set in w; 64 for none.
inline unsigned lowest(std::uint64_t w) noexcept {
    return static_cast<unsigned>(std::countr_zero(w));
}

// A word's first length bytes, as a mask: all of it from 8 on.
constexpr std::uint64_t prefix(std::size_t length) noexcept {
    return length >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * length)) - 1;
}

// The count of leading bytes below, capped at 7: the top bit set keeps the
// word counted from being zero, which would cost a branch.
constexpr unsigned upto7(std::uint64_t off) noexcept {
    return static_cast<unsigned>(std::countr_zero(off | std::uint64_t{1} << 63)) / 8;
}

// How many of w's bytes, from the first, equal b: 0 to 7, at most.
constexpr unsigned leading(std::uint64_t w, unsigned char b) noexcept {
    return upto7(w ^ bytes(b));
}

// How many of w's bytes, from the first, are digits: 0 to 7, at most. A
// digit, 0x30 to 0x39, has the top bit clear, and keeps it clear less 0x30
// (no borrow) and plus 0x46 (at most 0x7F); every other byte sets it in
// one of the three. A borrow or carry goes into the next byte only from a
// byte that is no digit, and nothing after that one counts.
constexpr unsigned leadingdigits(std::uint64_t w) noexcept {
    const std::uint64_t off = ((w - bytes(0x30)) | (w + bytes(0x46)) | w) & bytes(0x80);
    return upto7(off);
}

// The value of w's first n bytes, n from 1 to 8 digits. Shifting them to the
// top leaves zero bytes in front, which read as zeros; then pairs of digits,
// pairs of pairs and pairs of those are joined by one multiplication each
// (fast_float's parse_eight_digits_unrolled).
constexpr std::uint32_t value(std::uint64_t w, unsigned n) noexcept {
    w <<= 8 * (8 - n);
    w = ((w & bytes(0x0F)) * (1 + (10 << 8))) >> 8;
    w = ((w & 0x00FF00FF00FF00FFu) * (1 + (100 << 16))) >> 16;
    return static_cast<std::uint32_t>(((w & 0x0000FFFF0000FFFFu) * (1 + (10000ull << 32))) >> 32);
}

// 10^0 to 10^19.
inline constexpr auto powers = [] {
    std::array<std::uint64_t, 20> p{};
    std::uint64_t v = 1;
    for (std::uint64_t& x : p) {
        x = v;
        v *= 10; // wraps after the last, unused
    }
    return p;
}();

// How many digits n has, 1 for 0. With t the bit width times log10(2)
// (1233 / 4096, just above it), rounded down, t + 1 is the count or one
// more; 10^t tells which (Sean Eron Anderson, "Bit Twiddling Hacks", "Find
// integer log base 10 of an integer").
constexpr unsigned count(std::uint64_t n) noexcept {
    const auto t = static_cast<unsigned>(std::bit_width(n | 1) * 1233) >> 12;
    return t + 1 - static_cast<unsigned>(n < powers[t]);
}

// "0000" to "9999" as words of four bytes of text (40 KB: two loads
// instead of a dozen multiplications and shifts per eight digits).
inline constexpr auto fours = [] {
    std::array<std::uint32_t, 10000> t{};
    for (std::uint32_t i = 0; i < t.size(); ++i)
        t[i] = (i / 1000 + '0') | (i / 100 % 10 + '0') << 8 | (i / 10 % 10 + '0') << 16 |
               (i % 10 + '0') << 24;
    return t;
}();

// The eight digits of n < 10^8, with leading zeros, as a word of text.
inline std::uint64_t eight(std::uint32_t n) noexcept {
    return fours[n / 10000] | std::uint64_t{fours[n % 10000]} << 32;
}

} // namespace converter::digits

#endif
