#include "converter/fixedpoint.h"

#include <cmath>
#include <cstring>

namespace converter {

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
    // The product is below 2^70: from a shift of 71 on it is below half a unit.
    if (shift > 70) return 0;
    const wide n = wide::product(mantissa, 100000);
    const int s = shift - 64; // 0 to 6
    std::uint64_t scaled = n.high >> s;
    // The bits shifted out, their top 64 at the top of a word, its lowest bit
    // also set if any below those is: what rounds as all of them would.
    const std::uint64_t rest =
        s == 0 ? n.low
               : (n.high << (64 - s)) | (n.low >> s) | std::uint64_t{(n.low << (64 - s)) != 0};
    constexpr std::uint64_t half = std::uint64_t{1} << 63;
    scaled += std::uint64_t{rest > half} | (std::uint64_t{rest == half} & scaled);
    return scaled;
}

} // namespace converter
