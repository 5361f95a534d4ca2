// The field routines against the C library on generated data: parsereal
// against strtod, parseinteger against strtoll, formatfixed against
// snprintf("%16.5f"). The generator's seed is fixed, so a failure repeats.
#include "converter/fixedpoint.h"
#include "converter/numbers.h"
#include "tests/oracles.h"
#include "tests/random.h"

#include <bit>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <iomanip>
#include <limits>
#include <optional>
#include <string>

namespace {

using converter::verdict;

using testing_support::share;

using testing_support::generator;

// Stops a comparison loop from flooding the log once it has failed often.
constexpr int maxfailures = 10;

// A named generator of cases of one kind, and how many to make.
template <class T> struct source {
    const char* name;
    T (*make)(generator&);
    std::size_t count;
};

// Makes each source's cases and compares each; returns how many were made.
template <class T, std::size_t n>
std::size_t compareall(const source<T> (&sources)[n], std::uint64_t seed,
                       bool (*same)(const T&, int& failures)) {
    generator g{seed};
    int failures = 0;
    std::size_t total = 0;
    for (const source<T>& s : sources) {
        std::size_t agreed = 0;
        const std::size_t count = s.count / share;
        for (std::size_t i = 0; i < count; ++i)
            agreed += same(s.make(g), failures) ? 1 : 0;
        EXPECT_EQ(agreed, count) << s.name;
        total += count;
    }
    return total;
}

// ---- parsereal against strtod -------------------------------------------

// One token read both ways. strtod knows only e as the exponent letter.
// Counts a failure and reports it; returns whether they agreed.
bool sameasstrtod(const std::string& token, int& failures) {
    double value = 0;
    const verdict v = converter::parsereal(token.data(), token.data() + token.size(), value);
    const std::optional<oracle::reading<double>> want = oracle::real(token);
    const bool agree = want && v == want->verdict &&
                       (v != verdict::ok || std::bit_cast<std::uint64_t>(value) ==
                                                std::bit_cast<std::uint64_t>(want->value));
    if (!agree && ++failures <= maxfailures) {
        ADD_FAILURE() << '"' << token << "\" read as " << value << " (verdict "
                      << static_cast<int>(v) << "), strtod gives " << (want ? want->value : NAN)
                      << " (verdict " << (want ? static_cast<int>(want->verdict) : -1) << ")";
    }
    return agree;
}

const char* sign(generator& g) {
    static const char* const signs[] = {"", "", "-", "+"};
    return signs[g.below(4)];
}

char exponentletter(generator& g) {
    static const char letters[] = {'e', 'E', 'd', 'D'};
    return letters[g.below(4)];
}

std::string exponent(generator& g, long low, long high) {
    const long e = g.within(low, high);
    std::string s(1, exponentletter(g));
    if (e < 0)
        s += '-';
    else if (g.below(2) == 0)
        s += '+';
    return s + std::to_string(std::labs(e));
}

// Digits with a point somewhere (or none), at least one digit in all.
std::string mantissa(generator& g, std::size_t digits) {
    std::string s;
    for (std::size_t i = 0; i < digits; ++i)
        s += g.digit();
    const std::size_t point = g.below(digits + 2);
    if (point <= digits) s.insert(point, 1, '.');
    return s;
}

// Everyday numbers: a few digits, sometimes an exponent.
std::string everyday(generator& g) {
    std::string s = sign(g) + mantissa(g, 1 + g.below<std::size_t>(20));
    if (g.below(2) == 0) s += exponent(g, -30, 30);
    return s;
}

// Anywhere in the range of doubles and a little beyond both ends.
std::string wide(generator& g) {
    return sign(g) + mantissa(g, 1 + g.below<std::size_t>(25)) + exponent(g, -345, 330);
}

// Mantissas of hundreds of digits, up to the longest that fits in a token.
std::string longmantissa(generator& g) {
    const std::size_t digits = 100 + g.below<std::size_t>(701);
    return sign(g) + mantissa(g, digits) + exponent(g, -static_cast<long>(digits) - 330, 330);
}

// Just below and beyond the largest double: 1.7976931348623157e308 and
// the halfway point to 2^1024, 1.797693134862315807...e308.
std::string nearlargest(generator& g) {
    std::string s = "1.79769313486231";
    const std::size_t more = g.below<std::size_t>(30);
    s += static_cast<char>('5' + g.below(3));
    for (std::size_t i = 0; i < more; ++i)
        s += g.digit();
    return sign(g) + s + exponentletter(g) + std::to_string(g.within(307, 309));
}

// The subnormal range and below it, where strtod underflows.
std::string subnormal(generator& g) {
    return sign(g) + mantissa(g, 1 + g.below<std::size_t>(20)) + exponent(g, -345, -300);
}

// A finite double from random bits: every binade alike.
double randomdouble(generator& g) {
    for (;;) {
        const double d = std::bit_cast<double>(g.next() & 0x7fffffffffffffffu);
        if (std::isfinite(d)) return d;
    }
}

// Shortest and longer round-trip forms of random doubles.
std::string printed(generator& g) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%.*g", sign(g), static_cast<int>(1 + g.below(17)),
                  randomdouble(g));
    std::string s = text;
    for (char& c : s)
        if (c == 'e') c = exponentletter(g);
    return s;
}

// The exact decimal value halfway between a double and the next one up, and
// a hair below and above it. long double holds the midpoint exactly, and
// printf gives its exact decimal expansion (at most 768 significant digits).
std::string halfway(generator& g) {
    double d;
    switch (g.below(8)) {
    case 0: d = 0; break;       // 0 and the least subnormal
    case 1: d = DBL_MAX; break; // the largest and 2^1024
    case 2: d = std::ldexp(1.0, static_cast<int>(g.within(-1074, 1023))); break;
    case 3: d = std::bit_cast<double>(g.below(std::uint64_t{1} << 52)); break; // subnormal
    default: d = randomdouble(g); break;
    }
    const long double up = d == DBL_MAX ? std::ldexp(1.0L, 1024)
                                        : static_cast<long double>(std::nextafter(d, INFINITY));
    const long double mid = (static_cast<long double>(d) + up) / 2;
    char text[1024];
    std::snprintf(text, sizeof text, "%.800Le", mid);
    std::string s = text;
    const std::size_t e = s.find('e');
    std::string digits = s.substr(0, e);
    digits.erase(digits.find_last_not_of('0') + 1);
    if (digits.back() == '.') digits += '0';
    switch (g.below(3)) {
    case 0: break;                     // exactly halfway
    case 1: digits += "000001"; break; // a hair above
    default:                           // a hair below
        if (digits.back() != '0') {
            --digits.back();
            digits += "999";
        }
        break;
    }
    return sign(g) + digits + exponentletter(g) + s.substr(e + 1);
}

// Valid tokens with one character changed, inserted or dropped: mostly
// malformed, and refused exactly where strtod does not take the whole.
std::string mutated(generator& g) {
    std::string s = everyday(g);
    static const char pool[] = "0123456789+-.eEdD";
    const std::size_t at = g.below(s.size() + 1);
    const char c = pool[g.below(sizeof pool - 1)];
    switch (g.below(3)) {
    case 0:
        if (at < s.size()) s[at] = c;
        break;
    case 1: s.insert(at, 1, c); break;
    default:
        if (at < s.size()) s.erase(at, 1);
        break;
    }
    return s;
}

TEST(Differential, ParseRealMatchesStrtod) {
    // clang-format off
    const source<std::string> sources[] = {
        // name            make           count
        {"everyday",       everyday,      300000},
        {"wide",           wide,          200000},
        {"printed",        printed,       250000},
        {"subnormal",      subnormal,     100000},
        {"nearlargest",    nearlargest,   50000},
        {"mutated",        mutated,       100000},
        {"halfway",        halfway,       20000},
        {"longmantissa",   longmantissa,  10000},
    };
    // clang-format on
    EXPECT_GE(compareall(sources, 20240611, sameasstrtod) * share, std::size_t{1000000});
}

// The edges themselves, each once.
TEST(Differential, ParseRealEdges) {
    // clang-format off
    const char* const tokens[] = {
        "1.7976931348623157e308",                   // the largest double
        "1.797693134862315807937289714053e308",     // below the midpoint to 2^1024
        "1.797693134862315807937289714054e308",     // above it: overflow
        "179769313486231580793728971405301e276",    // the same, written otherwise
        "2.4703282292062327208828439643411e-324",   // half the least subnormal, exactly
        "2.4703282292062327208828439643412e-324",   // a hair above: the least subnormal
        "2.4703282292062327208828439643410e-324",   // a hair below: zero
        "-2.4703282292062327208828439643411D-324",  // a negative zero
        "2.2250738585072011e-308",                  // below the least normal
        "2.2250738585072012e-308",                  // the least normal
        "9007199254740993",                         // 2^53 + 1: a tie, to even
        "9007199254740995",                         // 2^53 + 3: a tie, to even (up)
        "0.1e-999999999999999999999",               // an exponent beyond any long
        "1e+999999999999999999999",
        "0e999999999999999999999",
        "9007199254740992e22",                      // 2^53 and 10^22: one exact product
        "9007199254740993e22",                      // 2^53 + 1: not exact
        "9007199254740992e-22",
        "1e23",                                     // 10^23 is no double
        "8.9884656743115795e307",                   // 2^1023
        "0.0000000000000000000001e22",              // 23 digits, 21 of them zeros
        "0000000000000000000000266170.432E+22",     // one inexact product past 22 zeros:
        "0000000000000000000000444.28262326638e21", // the x87 rounds it twice
        "1234567890123456789e-19",                  // 19 digits
        "12345678901234567890e-20",                 // 20 digits
        "-0e-5",
    };
    // clang-format on
    int failures = 0;
    for (const char* t : tokens)
        EXPECT_TRUE(sameasstrtod(t, failures)) << t;
}

// ---- parseinteger against strtoll -----------------------------------------

bool sameasstrtoll(const std::string& token) {
    std::int32_t value = 0;
    const verdict v = converter::parseinteger(token.data(), token.data() + token.size(), value);
    const oracle::reading<std::int32_t> want = oracle::integer(token);
    EXPECT_NE(want.verdict, verdict::notanumber) << "generated a malformed integer: " << token;
    return v == want.verdict && (v != verdict::ok || value == want.value);
}

TEST(Differential, ParseIntegerMatchesStrtoll) {
    struct centre {
        long long at;
        long spread;
    };
    // clang-format off
    const centre centres[] = {
        // at                 spread
        {0,                   1000},
        {INT32_MAX,           100000},
        {INT32_MIN,           100000},
        {10LL * INT32_MAX,    1000},
        {-10LL * INT32_MAX,   1000},
        {INT64_MAX,           10},   // beyond strtoll too: ERANGE
        {INT64_MIN,           10},
    };
    // clang-format on
    generator g{7};
    std::size_t count = 0, agreed = 0;
    for (const centre& c : centres)
        for (long k = -c.spread; k <= c.spread; ++k) {
            // Clamped at the ends of long long; the text grows a digit there.
            const long long v = k < 0 ? (c.at < INT64_MIN - k ? INT64_MIN : c.at + k)
                                      : (c.at > INT64_MAX - k ? INT64_MAX : c.at + k);
            std::string t = std::to_string(v);
            if (c.at == INT64_MAX || c.at == INT64_MIN) t += g.digit();
            if (v >= 0 && g.below(4) == 0) t.insert(0, 1, '+');
            if (g.below(4) == 0)
                t.insert(t[0] == '-' || t[0] == '+' ? 1 : 0, g.below<std::size_t>(12), '0');
            ++count;
            agreed += sameasstrtoll(t) ? 1 : 0;
        }
    for (int i = 0; i < 200000 / static_cast<int>(share); ++i) {
        std::string t = sign(g);
        const std::size_t digits = 1 + g.below<std::size_t>(12);
        for (std::size_t j = 0; j < digits; ++j)
            t += g.digit();
        ++count;
        agreed += sameasstrtoll(t) ? 1 : 0;
    }
    EXPECT_EQ(agreed, count);
}

// ---- formatfixed against snprintf -----------------------------------------

// Counts a disagreement and reports it; returns whether they agreed.
bool sameasprintf(const double& value, int& failures) {
    char field[converter::fieldwidth];
    converter::fixedcache none;
    converter::formatfixed(value, field, none);
    const std::string want = oracle::field(value);
    const bool agree = want == std::string_view(field, sizeof field);
    if (!agree && ++failures <= maxfailures)
        ADD_FAILURE() << "value " << std::setprecision(17) << value << " (bits " << std::hex
                      << std::bit_cast<std::uint64_t>(value) << std::dec << "): \""
                      << std::string_view(field, sizeof field) << "\", printf \"" << want << '"';
    return agree;
}

double withsign(generator& g, double d) {
    return g.below(2) == 0 ? d : -d;
}

// Exact ties at the fifth decimal are the odd multiples of 1/64.
double tie(generator& g) {
    const std::uint64_t k = 2 * g.below(std::uint64_t{1} << (1 + g.below(43))) + 1;
    return withsign(g, static_cast<double>(k) / 64);
}

// Binary fractions k/2^n that fall near, not on, a tie.
double nearties(generator& g) {
    const std::uint64_t k = 2 * g.below(std::uint64_t{1} << 30) + 1;
    return withsign(g, std::ldexp(static_cast<double>(k), -static_cast<int>(7 + g.below(20))));
}

// Steps of nextafter from a point, either way.
double around(generator& g, double point) {
    double d = point;
    const std::uint64_t steps = g.below<std::size_t>(300);
    const double towards = g.below(2) == 0 ? INFINITY : -INFINITY;
    for (std::uint64_t i = 0; i < steps; ++i)
        d = std::nextafter(d, towards);
    return d;
}

// Carries through every digit: 9.999995, 99999.999995 and the like.
double carry(generator& g) {
    const double point = std::pow(10.0, static_cast<double>(g.within(-4, 11))) - 0.000005;
    return withsign(g, around(g, point));
}

// The widest that fit, and the first that do not: 9999999999.99999 and
// -999999999.99999 rounding over to 11 and 10 integer digits.
double widest(generator& g) {
    return g.below(2) == 0 ? around(g, 9999999999.999995) : around(g, -999999999.999995);
}

// Negative values that round to zero, and those that just do not.
double negativezero(generator& g) {
    switch (g.below(3)) {
    case 0: return -static_cast<double>(g.below(5000000)) * 1e-12;
    case 1: return around(g, -0.000005);
    default: return -std::ldexp(1.0, -static_cast<int>(g.below(1075)));
    }
}

// Decimal values with six decimals, whose sixth decides the rounding.
double decimals(generator& g) {
    return withsign(g, static_cast<double>(g.below(std::uint64_t{1} << 50)) / 1e6);
}

// Random bit patterns, both signs; a NaN or an infinity is left to the
// table tests.
double bits(generator& g) {
    for (;;) {
        const double d = std::bit_cast<double>(g.next());
        if (std::isfinite(d)) return d;
    }
}

// Random doubles in the binades that print, below 2^37.
double printable(generator& g) {
    return withsign(g, std::ldexp(1.0 + static_cast<double>(g.below(std::uint64_t{1} << 52)) /
                                            4503599627370496.0,
                                  static_cast<int>(g.within(-30, 36))));
}

TEST(Differential, FormatFixedMatchesPrintf) {
    // clang-format off
    const source<double> sources[] = {
        // name           make           count
        {"tie",           tie,           150000},
        {"nearties",      nearties,      100000},
        {"carry",         carry,         100000},
        {"widest",        widest,        100000},
        {"negativezero",  negativezero,  50000},
        {"decimals",      decimals,      200000},
        {"printable",     printable,     200000},
        {"bits",          bits,          100000},
    };
    // clang-format on
    compareall(sources, 1976, sameasprintf);
}

} // namespace
