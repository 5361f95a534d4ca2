#include "converter/fixedpoint.h"

#include <cmath>
#include <cstring>

namespace converter {

namespace {

// Exact products of a 53-bit mantissa and 10^5 need 70 bits.
__extension__ typedef unsigned __int128 uint128;

} // namespace

void formatspecial(double value, char* out) noexcept {
    const auto place = [out](const char* word) noexcept {
        const std::size_t n = std::strlen(word);
        std::memset(out, ' ', fieldwidth - n);
        std::memcpy(out + fieldwidth - n, word, n);
    };
    if (std::isnan(value)) return place("NaN");
    if (std::isinf(value)) return place(value < 0 ? "-Infinity" : "Infinity");
    std::memset(out, '*', fieldwidth);
}

std::uint64_t scaledsmall(std::uint64_t mantissa, int shift) noexcept {
    if (shift >= 127) return 0; // below 2^-74: far less than half a unit of the last decimal
    const uint128 n = static_cast<uint128>(mantissa) * 100000;
    auto scaled = static_cast<std::uint64_t>(n >> shift);
    const uint128 rest = n & ((static_cast<uint128>(1) << shift) - 1);
    const uint128 half = static_cast<uint128>(1) << (shift - 1);
    if (rest > half || (rest == half && (scaled & 1) != 0)) ++scaled;
    return scaled;
}

} // namespace converter
