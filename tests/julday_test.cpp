// julday against known dates, and against the standard library's own
// proleptic Gregorian day count.
#include "converter/julday.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

namespace {

using converter::julday;

double at(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t minutes = 0) {
    const std::int32_t hours = 0;
    const double seconds = 0.0;
    return julday(month, day, year, hours, minutes, seconds);
}

struct dated {
    std::int32_t year, month, day, minutes;
    double expected;
};

// Dates whose Julian date is known exactly.
TEST(Julday, KnownDates) {
    // clang-format off
    const dated cases[] = {
        // year month day minutes expected
        {2000, 1,  1,  0,    2451544.5}, // J2000 day
        {2000, 1,  1,  720,  2451545.0}, // J2000 noon
        {2000, 1,  1,  1440, 2451545.5}, // carries into 2 January
        {2000, 1,  2,  0,    2451545.5},
        {2000, 2,  29, 0,    2451603.5}, // leap day
        {2000, 3,  1,  0,    2451604.5},
        {1858, 11, 17, 0,    2400000.5}, // MJD zero
        {1582, 10, 15, 0,    2299160.5}, // first Gregorian day
        {1,    1,  1,  0,    1721425.5},
        {2000, 13, 1,  0,    2451910.5}, // month 13: January 2001
        {2000, 0,  1,  0,    2451513.5}, // month 0: December 1999
        {1900, 3,  1,  0,    2415079.5}, // 1900 is not a leap year
        {1900, 2,  29, 0,    2415079.5},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(at(c.year, c.month, c.day, c.minutes), c.expected)
            << c.year << "-" << c.month << "-" << c.day << " minute " << c.minutes;
}

// Times before noon belong to the previous Julian day. A multiple of 45
// minutes is 1/32 of a day, exact; other times are within a rounding.
TEST(Julday, TimeOfDay) {
    // clang-format off
    const dated cases[] = {
        // year month day minutes expected
        {2000, 1,  1,  45,   2451544.53125},
        {2000, 1,  1,  630,  2451544.9375},  // 10:30
        {2000, 1,  1,  810,  2451545.0625},  // 13:30, past noon
        {1999, 12, 31, 1395, 2451544.46875}, // 23:15
        {2000, 1,  1,  -45,  2451544.46875}, // the same time, a day later
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(at(c.year, c.month, c.day, c.minutes), c.expected) << "minute " << c.minutes;
    EXPECT_NEAR(at(2000, 1, 1, 719), 2451544.999305, 1e-6);
    EXPECT_NEAR(at(1999, 12, 31, 1439), 2451544.499305, 1e-6);
}

// Divisions truncate toward zero, which matters before year 1.
TEST(Julday, NegativeYears) {
    // clang-format off
    const dated cases[] = {
        // year month day minutes expected
        {0,     3, 1, 0, 1721119.5},
        {-1,    3, 1, 0, 1720754.5},
        {-12,   3, 1, 0, 1716736.5},
        {-13,   3, 1, 0, 1716371.5}, // (1461 * -13) / 4 is -4748
        {-4712, 3, 1, 0, 97.5},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(at(c.year, c.month, c.day), c.expected) << c.year;
}

// Seconds and hours are summed in; a NaN time takes the branch for noon and
// after, and stays NaN.
TEST(Julday, HoursAndSeconds) {
    const std::int32_t month = 1, day = 1, year = 2000, zero = 0, six = 6;
    const double none = 0.0, threequarters = 2700.0, nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(julday(month, day, year, six, zero, none), 2451544.75);
    EXPECT_EQ(julday(month, day, year, zero, zero, threequarters), 2451544.53125);
    EXPECT_TRUE(std::isnan(julday(month, day, year, zero, zero, nan)));
}

// Each step rounded to its type, the x87's too: the minute products to
// float (large minute counts), the sums and quotients to double once (the
// others), as the same steps do on every machine.
TEST(Julday, RoundedAtEachStep) {
    const struct {
        std::int32_t daynumber, hours, minutes;
        double seconds, expected;
    } cases[] = {
        // clang-format off
        // daynumber hours minutes   seconds                expected
        {2451545,    0,    -2999999, 0.0,                   0x1.2b01a956d9b1ep+21}, // 2449461.16741
        {2451545,    0,    99999999, 0.0,                   0x1.33bce78e38e39p+21}, // 2520988.94444
        {2500954,    5,    2135,     0x1.a395810624dd3p+4,  0x1.314ad987bb935p+21},
        {2467086,    18,   532,      0x1.4840e4967353fp+15, 0x1.2d2878d8914f9p+21},
        {2496889,    5,    2616,     0x1.5be4a4632ecbap+24, 0x1.30d413445ee3fp+21},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(converter::fromday(c.daynumber, c.hours, c.minutes, c.seconds), c.expected)
            << c.daynumber << " " << c.hours << ":" << c.minutes << " + " << c.seconds;
}

// Outside the supported range the 32-bit terms wrap; the sanitizer build
// checks that this is not undefined behaviour.
TEST(Julday, WrapsWithoutUndefinedBehaviour) {
    constexpr std::int32_t big = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t small = std::numeric_limits<std::int32_t>::min();
    for (const std::int32_t v : {big, small, big - 1, small + 1, 1470000, -1470000}) {
        EXPECT_TRUE(std::isfinite(at(v, 1, 1)));
        EXPECT_TRUE(std::isfinite(at(2000, v, v, v)));
    }
}

// Every day of years 1 to 9999 against std::chrono's civil calendar: the
// Unix epoch is Julian date 2440587.5.
TEST(Julday, MatchesChronoCalendar) {
    using namespace std::chrono;
    const sys_days first = year_month_day{year{1}, January, day{1}};
    const sys_days last = year_month_day{year{9999}, December, day{31}};
    long mismatches = 0;
    for (sys_days d = first; d <= last; d += days{1}) {
        const year_month_day ymd{d};
        const double expected = static_cast<double>(d.time_since_epoch().count()) + 2440587.5;
        const double got = at(static_cast<int>(ymd.year()),
                              static_cast<std::int32_t>(static_cast<unsigned>(ymd.month())),
                              static_cast<std::int32_t>(static_cast<unsigned>(ymd.day())));
        if (got != expected && ++mismatches <= 5)
            ADD_FAILURE() << static_cast<int>(ymd.year()) << "-"
                          << static_cast<unsigned>(ymd.month()) << "-"
                          << static_cast<unsigned>(ymd.day()) << ": " << got << " != " << expected;
    }
    EXPECT_EQ(mismatches, 0);
}

} // namespace
