// The converter shared by tabjd and tabjd2: this header gives the date
// arithmetic; converter.h gives the program's phases, io.h the I/O layer and
// fields.h the number reading and writing.
#ifndef TABJD_CONVERTER_JULDAY_H
#define TABJD_CONVERTER_JULDAY_H

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
// The day number is the Fliegel-Van Flandern style integer formula counted
// from March (centuries, years, months of 153/5 days), as in Meeus,
// "Astronomical Algorithms", ch. 7, done in 32-bit integers whose divisions
// truncate toward zero. Outside the supported range (a March-based year of
// 1,470,000 or more in magnitude) the 32-bit terms wrap; the result there is
// meaningless but well defined.
double julday(const std::int32_t& month, const std::int32_t& day, const std::int32_t& year,
              const std::int32_t& hours, const std::int32_t& minutes,
              const double& seconds) noexcept;

} // namespace converter

#endif
