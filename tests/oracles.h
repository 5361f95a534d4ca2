// What the C library says the field routines should give: strtoll and
// strtod for a token, printf("%16.5f") for a value. The tests and the fuzz
// targets check parseinteger, parsereal and formatfixed against these.
#ifndef TABJD_TESTS_ORACLES_H
#define TABJD_TESTS_ORACLES_H

#include "converter/fixedpoint.h"
#include "converter/numbers.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace oracle {

// A verdict, and the value where it is ok.
template <typename T> struct reading {
    converter::verdict verdict;
    T value;
};

// The token as an integer field, by strtoll: a plain decimal integer (an
// optional sign and at least one digit) is read, in range or not; anything
// else is not a number.
inline reading<std::int32_t> integer(std::string_view token) {
    using converter::verdict;
    if (token.size() > converter::tokenmax) return {verdict::toolong, 0};
    char copy[converter::tokenmax + 1];
    std::memcpy(copy, token.data(), token.size());
    copy[token.size()] = '\0';
    std::size_t i = !token.empty() && (copy[0] == '+' || copy[0] == '-') ? 1 : 0;
    bool plain = i < token.size();
    for (; i < token.size(); ++i)
        plain = plain && copy[i] >= '0' && copy[i] <= '9';
    if (!plain) return {verdict::notanumber, 0};
    errno = 0;
    const long long value = std::strtoll(copy, nullptr, 10);
    if (errno != 0 || value < INT32_MIN || value > INT32_MAX) return {verdict::outofrange, 0};
    return {verdict::ok, static_cast<std::int32_t>(value)};
}

// The token as a real field, by strtod (a d exponent read as e): a number
// where strtod takes the whole token, out of range where it overflows (an
// underflow gives its zero or subnormal), else not a number. Nothing for a
// token of other bytes than digits, signs, points and exponent letters: the
// words (nan and the infinities) follow rules of their own.
inline std::optional<reading<double>> real(std::string_view token) {
    using converter::verdict;
    if (token.size() > converter::tokenmax) return reading<double>{verdict::toolong, 0};
    char copy[converter::tokenmax + 1];
    for (std::size_t i = 0; i < token.size(); ++i) {
        const char c = token[i] == 'd' || token[i] == 'D' ? 'e' : token[i];
        if (c == '\0' || std::strchr("0123456789+-.eE", c) == nullptr) return std::nullopt;
        copy[i] = c;
    }
    copy[token.size()] = '\0';
    // The magnitude is read and its sign put on after, which a correctly
    // rounded strtod gives alike: musl's drops the sign of a negative value
    // near the least subnormal.
    const bool minus =
        copy[0] == '-' && copy[1] != '\0' && std::strchr("0123456789.", copy[1]) != nullptr;
    const char* text = minus ? copy + 1 : copy;
    char* end = nullptr;
    errno = 0;
    const double magnitude = std::strtod(text, &end);
    const double value = minus ? -magnitude : magnitude;
    if (token.empty() || end != copy + token.size()) return reading<double>{verdict::notanumber, 0};
    if (errno == ERANGE && std::isinf(value)) return reading<double>{verdict::outofrange, 0};
    return reading<double>{verdict::ok, value};
}

// The value as a fixed-point field: printf("%16.5f") wherever that fits the
// field, asterisks wherever it does not; NaN, Infinity and -Infinity
// right-justified.
inline std::string field(double value) {
    constexpr int width = static_cast<int>(converter::fieldwidth);
    char text[512];
    if (!std::isfinite(value)) {
        const char* word = std::isnan(value) ? "NaN" : value < 0 ? "-Infinity" : "Infinity";
        std::snprintf(text, sizeof text, "%*s", width, word);
        return text;
    }
    if (std::snprintf(text, sizeof text, "%16.5f", value) != width)
        return std::string(converter::fieldwidth, '*');
    return text;
}

} // namespace oracle

#endif
