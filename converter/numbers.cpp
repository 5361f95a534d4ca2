#include "converter/numbers.h"
#include "converter/precision.h"

#include <algorithm>
#include <charconv>
#if TABJD_HAVE_FAST_FLOAT
#include <fast_float/fast_float.h>
#endif
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace converter {

namespace {

// Case-insensitive match of the whole of [first, last) against a lower-case word.
bool isword(const char* first, const char* last, const char* word) noexcept {
    const std::size_t n = std::strlen(word);
    if (static_cast<std::size_t>(last - first) != n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (lowercase(first[i]) != word[i]) return false;
    return true;
}

// The exponent written at [exponent, last): a letter, an optional sign and
// digits; 0 when there is none. Magnitudes are capped past 100000, far
// beyond any double.
long exponentof(const char* exponent, const char* last) noexcept {
    long e = 0;
    const char* q = exponent + (exponent != last ? 1 : 0);
    const bool negative = q != last && *q == '-';
    if (q != last && (*q == '+' || *q == '-')) ++q;
    for (; q != last && e < 100000; ++q)
        e = e * 10 + (*q - '0');
    return negative ? -e : e;
}

} // namespace

verdict parseinteger(const char* first, const char* last, std::int32_t& value) noexcept {
    if (static_cast<std::size_t>(last - first) > tokenmax) return verdict::toolong;
    const char* p = first;
    const bool negative = p != last && *p == '-';
    if (p != last && (*p == '-' || *p == '+')) ++p;
    if (p == last) return verdict::notanumber;
    // 2^31 bounds the magnitude; keep accumulating only while below it, so the
    // rest of the text is still checked for its form.
    constexpr std::uint64_t limit = std::uint64_t{1} << 31;
    std::uint64_t magnitude = 0;
    for (; p != last; ++p) {
        if (!isdigitchar(*p)) return verdict::notanumber;
        if (magnitude <= limit) magnitude = magnitude * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    if (magnitude > limit - (negative ? 0 : 1)) return verdict::outofrange;
    value = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                               : static_cast<std::int64_t>(magnitude));
    return verdict::ok;
}

verdict parsereal(const char* first, const char* last, double& value) noexcept {
    if (static_cast<std::size_t>(last - first) > tokenmax) return verdict::toolong;
    const char* p = first;
    const bool negative = p != last && *p == '-';
    if (p != last && (*p == '-' || *p == '+')) ++p;
    if (p == last) return verdict::notanumber;

    // The words are read here: the library would also take "nan(...)".
    if (!isdigitchar(*p) && *p != '.') {
        double word;
        if (isword(p, last, "nan"))
            word = std::numeric_limits<double>::quiet_NaN();
        else if (isword(p, last, "inf") || isword(p, last, "infinity"))
            word = std::numeric_limits<double>::infinity();
        else
            return verdict::notanumber;
        value = negative ? -word : word;
        return verdict::ok;
    }

    // The library knows only e; a d exponent is read from a copy. A text
    // the library stops short in is refused, so it checks the form too.
    char copy[tokenmax];
    const char* text = p;
    const char* textend = last;
    if (const char* d = std::find_if(p, last, [](char c) { return (c | 0x20) == 'd'; });
        d != last) {
        const auto n = static_cast<std::size_t>(last - p);
        std::memcpy(copy, p, n);
        copy[d - p] = 'e';
        text = copy;
        textend = copy + n;
    }
    double magnitude = 0;
    // Its fast path is one x87 operation where FLT_EVAL_METHOD is 2, rounded
    // to 64 bits and then stored: the x87 must round to 53 bits itself.
    [[maybe_unused]] const x87double precision{};
#if TABJD_HAVE_FAST_FLOAT
    const auto [end, ec] =
        fast_float::from_chars(text, textend, magnitude, fast_float::chars_format::general);
#else
    const auto [end, ec] = std::from_chars(text, textend, magnitude, std::chars_format::general);
#endif
    if (end != textend) return verdict::notanumber;
    // Some fast_float versions give an overflow as infinity with no error;
    // the text is no "inf", which was read above.
    if (ec == std::errc::result_out_of_range || std::isinf(magnitude)) {
        // Beyond the range one way or the other. The decimal exponent of the
        // leading nonzero digit and the written one tell which: an underflow
        // reads as zero, as strtod gives it; an overflow is refused.
        const char* exponent = std::find_if(
            p, last, [](char c) { return lowercase(c) == 'e' || lowercase(c) == 'd'; });
        const char* point = std::find(p, exponent, '.');
        const char* lead = std::find_if(p, exponent, [](char c) { return c != '0' && c != '.'; });
        if ((lead < point ? point - lead - 1 : point - lead) + exponentof(exponent, last) > 0)
            return verdict::outofrange;
        magnitude = 0;
    } else if (ec != std::errc{}) {
        return verdict::notanumber;
    }
    value = negative ? -magnitude : magnitude;
    return verdict::ok;
}

} // namespace converter
