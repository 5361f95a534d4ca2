// Checks shared by the fuzz targets: the field routines against what the C
// library says they should give. A failed check traps, so libFuzzer records
// the input that caused it.
#ifndef TABJD_FUZZ_ORACLE_H
#define TABJD_FUZZ_ORACLE_H

#include "converter/fixedpoint.h"
#include "converter/numbers.h"
#include "tests/oracles.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace fuzzing {

inline void check(bool condition) {
    if (!condition) __builtin_trap();
}

// One fixed-point field against printf("%16.5f").
inline void checkfield(double value) {
    char field[converter::fieldwidth];
    converter::fixedcache none;
    converter::formatfixed(value, field, none);
    check(oracle::field(value) == std::string_view(field, sizeof field));
}

// The token [first, last) as an integer field against strtoll: both accept
// the same plain decimal integers, and agree on their value and range.
inline void checkinteger(const char* first, const char* last) {
    std::int32_t value = 0;
    const converter::verdict v = converter::parseinteger(first, last, value);
    const oracle::reading<std::int32_t> want =
        oracle::integer({first, static_cast<std::size_t>(last - first)});
    check(v == want.verdict);
    if (v == converter::verdict::ok) check(value == want.value);
}

// The token [first, last) as a real field against strtod. Wherever strtod
// takes the whole of a token made of digits, signs, points and exponent
// letters, parsereal takes it too, to the same bits, or refuses it as out
// of range exactly where strtod overflows. Wherever parsereal takes a
// number, strtod takes all of it to the same bits. Words read as a number
// are nan or an infinity.
inline void checkreal(const char* first, const char* last) {
    double value = 0;
    const converter::verdict v = converter::parsereal(first, last, value);
    const std::optional<oracle::reading<double>> want =
        oracle::real({first, static_cast<std::size_t>(last - first)});
    if (!want) {
        if (v == converter::verdict::ok) check(std::isnan(value) || std::isinf(value));
        return;
    }
    check(v == want->verdict);
    if (v == converter::verdict::ok) check(std::memcmp(&value, &want->value, sizeof value) == 0);
}

} // namespace fuzzing

#endif
