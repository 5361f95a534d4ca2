#include "converter/julday.h"

namespace converter {

namespace {

// 32-bit two's complement results of the formula's steps: the arithmetic is
// done in 64 bits and reduced modulo 2^32, so an overflow wraps instead of
// being undefined.
constexpr std::int32_t wrap(std::int64_t v) noexcept {
    return static_cast<std::int32_t>(v);
}

} // namespace

double julday(const std::int32_t& month, const std::int32_t& day, const std::int32_t& year,
              const std::int32_t& hours, const std::int32_t& minutes,
              const double& seconds) noexcept {
    // Time of day. The hour and minute products are formed in single
    // precision, as the reference arithmetic does; for minute counts of a
    // day they are exact.
    const float h = static_cast<float>(hours) * 3600.0f;
    const float mi = static_cast<float>(minutes) * 60.0f;
    const double secs = seconds + static_cast<double>(h) + static_cast<double>(mi);

    // Count the year from March, so that the leap day ends the year.
    std::int32_t m;
    std::int32_t y;
    if (month <= 2) {
        m = wrap(std::int64_t{month} + 9);
        y = wrap(std::int64_t{year} - 1);
    } else {
        m = wrap(std::int64_t{month} - 3);
        y = year;
    }
    const std::int32_t c = y / 100;
    const std::int32_t ya = y - 100 * c;

    // Day number of the noon that starts the calendar day.
    std::int32_t jd = wrap(std::int64_t{146097} * c) / 4;
    jd = wrap(std::int64_t{jd} + (1461 * ya) / 4);
    jd = wrap(std::int64_t{jd} + wrap(std::int64_t{153} * m + 2) / 5);
    jd = wrap(std::int64_t{jd} + day);
    jd = wrap(std::int64_t{jd} + 1721119);

    // Times before noon belong to the previous Julian day. A NaN time takes
    // the first branch.
    const double noon = static_cast<double>(12.0f * 3600.0f);
    double fraction;
    if (!(secs < noon)) {
        fraction = secs - noon;
    } else {
        jd = wrap(std::int64_t{jd} - 1);
        fraction = secs + noon;
    }
    return static_cast<double>(jd) + (fraction / 3600.0) / 24.0;
}

} // namespace converter
