// The converter shared by tabjd and tabjd2. This header gives the date
// arithmetic; the README's Layout maps the rest.
#ifndef TABJD_CONVERTER_JULDAY_H
#define TABJD_CONVERTER_JULDAY_H

#include "converter/precision.h"

#include <cstdint>

namespace converter {

// julday: astronomical Julian date of a Gregorian calendar date and time of
// day (proleptic Gregorian for all years). Days begin at noon; the fraction is
// the part of that day elapsed, so 2000-01-01 12:00 gives 2451545.0 and
// 1582-10-15 00:00 gives 2299160.5.
//
// month, day, year: calendar date; nothing is validated. Month 13 is January
//     of the next year, month 0 December of the previous one, and a day or
//     minute count beyond its range carries into the following days.
// hours, minutes, seconds: time of day, summed as seconds.
//
// The parameters are references, in month, day, year order, because they
// follow the interface of the reference routine this one reproduces.
//
// The day number is Tantzen's integer formula counted from March (centuries,
// years, months of 153/5 days): R. T. Tantzen, "Algorithm 199: Conversions
// between calendar date and Julian day number", Communications of the ACM
// 6(8), 1963. It is done in 32-bit integers whose divisions truncate
// toward zero. Outside the supported range (a March-based year of 1,470,000
// or more in magnitude) the 32-bit terms wrap; the result there is
// meaningless but well defined.
//
// It is computed in two steps, defined below it, for a caller that converts
// many times of one date: julday(month, day, year, ...) is
// fromday(daynumber(month, day, year), ...).

namespace calendar {

// 32-bit two's complement results of the formula's steps: the arithmetic is
// done in 64 bits and reduced modulo 2^32, so an overflow wraps instead of
// being undefined.
constexpr std::int32_t wrap(std::int64_t v) noexcept {
    return static_cast<std::int32_t>(v);
}

} // namespace calendar

// daynumber: the number of the Julian day that begins at noon of the date.
constexpr std::int32_t daynumber(std::int32_t month, std::int32_t day, std::int32_t year) noexcept {
    using calendar::wrap;
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

    std::int32_t jd = wrap(std::int64_t{146097} * c) / 4;
    jd = wrap(std::int64_t{jd} + (1461 * ya) / 4);
    jd = wrap(std::int64_t{jd} + wrap(std::int64_t{153} * m + 2) / 5);
    jd = wrap(std::int64_t{jd} + day);
    return wrap(std::int64_t{jd} + 1721119);
}

// fromday: the Julian date of a time of day of the date whose day number
// is given.
inline double fromday(std::int32_t daynumber, std::int32_t hours, std::int32_t minutes,
                      double seconds) noexcept {
    // Each step is rounded to its type, once, on the x87 too (rounded(),
    // x87double): a digit of the output must not depend on the machine.
#if FLT_EVAL_METHOD != 0
    [[maybe_unused]] const x87double precision{};
#endif
    // Time of day. The hour and minute products are formed in single
    // precision, as the reference arithmetic does; for minute counts of a
    // day they are exact.
    const float h = rounded(rounded(static_cast<float>(hours)) * 3600.0f);
    const float mi = rounded(rounded(static_cast<float>(minutes)) * 60.0f);
    const double secs =
        rounded(rounded(seconds + static_cast<double>(h)) + static_cast<double>(mi));

    // Times before noon belong to the previous Julian day. A NaN time takes
    // the first branch.
    const double noon = static_cast<double>(12.0f * 3600.0f);
    const bool before = secs < noon; // selects rather than branches
    const std::int32_t jd = calendar::wrap(std::int64_t{daynumber} - before);
    const double fraction = rounded(secs + (before ? noon : -noon));
    return rounded(static_cast<double>(jd) + rounded(rounded(fraction / 3600.0) / 24.0));
}

// julday, as above.
inline double julday(const std::int32_t& month, const std::int32_t& day, const std::int32_t& year,
                     const std::int32_t& hours, const std::int32_t& minutes,
                     const double& seconds) noexcept {
    return fromday(daynumber(month, day, year), hours, minutes, seconds);
}

} // namespace converter

#endif
