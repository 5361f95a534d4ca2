// Checks shared by the fuzz targets: the field routines against the C
// library, and a deterministic source of choices for scripted system calls.
// A failed check traps, so libFuzzer records the input that caused it.
#ifndef TABJD_FUZZ_ORACLE_H
#define TABJD_FUZZ_ORACLE_H

#include "converter/fixedpoint.h"
#include "converter/numbers.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzzing {

inline void check(bool condition) {
    if (!condition) __builtin_trap();
}

// Choices for chunk sizes and injected faults, repeatable for one input.
struct dice {
    std::uint32_t state;
    std::uint32_t next() noexcept {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    std::size_t below(std::size_t n) noexcept { return next() % n; }
};

// One fixed-point field against printf("%16.5f"): equal wherever that fits
// the field, asterisks wherever it does not.
inline void checkfield(double value) {
    char field[converter::fieldwidth];
    converter::formatfixed(value, field);
    if (!std::isfinite(value)) {
        const char* word = std::isnan(value) ? "NaN" : value < 0 ? "-Infinity" : "Infinity";
        const std::size_t n = std::strlen(word);
        for (std::size_t i = 0; i < converter::fieldwidth - n; ++i)
            check(field[i] == ' ');
        check(std::memcmp(field + converter::fieldwidth - n, word, n) == 0);
        return;
    }
    char expected[64];
    const int n = std::snprintf(expected, sizeof expected, "%16.5f", value);
    if (n == static_cast<int>(converter::fieldwidth)) {
        check(std::memcmp(field, expected, converter::fieldwidth) == 0);
    } else {
        for (const char c : field)
            check(c == '*');
    }
}

// The token [first, last) as an integer field against strtoll: both accept
// the same plain decimal integers, and agree on their value and range.
inline void checkinteger(const char* first, const char* last) {
    const auto length = static_cast<std::size_t>(last - first);
    std::int32_t value = 0;
    const converter::verdict v = converter::parseinteger(first, last, value);
    if (length > converter::tokenmax) {
        check(v == converter::verdict::toolong);
        return;
    }
    char copy[converter::tokenmax + 1];
    std::memcpy(copy, first, length);
    copy[length] = '\0';
    // The plain form: an optional sign and at least one digit.
    std::size_t i = length > 0 && (copy[0] == '+' || copy[0] == '-') ? 1 : 0;
    bool plain = i < length;
    for (; i < length; ++i)
        plain = plain && copy[i] >= '0' && copy[i] <= '9';
    if (!plain) {
        check(v == converter::verdict::notanumber);
        return;
    }
    errno = 0;
    const long long expected = std::strtoll(copy, nullptr, 10);
    const bool fits = errno == 0 && expected >= INT32_MIN && expected <= INT32_MAX;
    check(v == (fits ? converter::verdict::ok : converter::verdict::outofrange));
    if (fits) check(value == expected);
}

// The token [first, last) as a real field against strtod (a d exponent read
// as e). Wherever strtod takes the whole of a token made of digits, signs,
// points and exponent letters, parsereal takes it too, to the same bits, or
// refuses it as out of range exactly where strtod overflows. Wherever
// parsereal takes a number, strtod takes all of it to the same bits.
inline void checkreal(const char* first, const char* last) {
    const auto length = static_cast<std::size_t>(last - first);
    double value = 0;
    const converter::verdict v = converter::parsereal(first, last, value);
    if (length > converter::tokenmax) {
        check(v == converter::verdict::toolong);
        return;
    }
    char copy[converter::tokenmax + 1];
    bool numeric = true;
    for (std::size_t i = 0; i < length; ++i) {
        char c = first[i];
        if (c == 'd' || c == 'D') c = 'e';
        numeric = numeric && c != '\0' && std::strchr("0123456789+-.eE", c) != nullptr;
        copy[i] = c;
    }
    copy[length] = '\0';
    if (!numeric) {
        // Words: nan and the infinities, whatever the case.
        if (v == converter::verdict::ok) check(std::isnan(value) || std::isinf(value));
        return;
    }
    char* end = nullptr;
    errno = 0;
    const double expected = std::strtod(copy, &end);
    const bool whole = length > 0 && end == copy + length;
    if (!whole) {
        check(v == converter::verdict::notanumber);
        return;
    }
    if (errno == ERANGE && std::isinf(expected)) {
        check(v == converter::verdict::outofrange);
        return;
    }
    // Underflow included: both give the same zero or subnormal.
    check(v == converter::verdict::ok);
    check(std::memcmp(&value, &expected, sizeof value) == 0);
}

} // namespace fuzzing

#endif
