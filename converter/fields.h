// Reading one free-form number and writing one fixed-point output field.
#ifndef TABJD_CONVERTER_FIELDS_H
#define TABJD_CONVERTER_FIELDS_H

#include <cstddef>
#include <cstdint>

namespace converter {

// What became of a token that was read as a number.
enum class verdict : unsigned char {
    ok,
    notanumber, // not of the form the field takes
    outofrange, // of the right form, but beyond the field's range
    toolong,    // longer than tokenmax: refused without being read
};

// Longest token a field takes. Memory stays flat however long a line is, so a
// token must fit in a fixed buffer; longer ones are refused.
inline constexpr std::size_t tokenmax = 1024;

// parseinteger: the whole of [first, last) as an integer field: an optional
// sign and decimal digits, within the signed 32-bit range. Anything else
// (a point, an exponent, a blank) is not an integer. value is set only on ok;
// a text longer than tokenmax is toolong.
verdict parseinteger(const char* first, const char* last, std::int32_t& value) noexcept;

// parsereal: the whole of [first, last) as a real field: an optional sign,
// digits with or without a point, an optional exponent written with e, E, d
// or D; or nan, inf, infinity in any case with an optional sign. The result is
// correctly rounded, the same double strtod gives for the text; a value too
// small for a double reads as zero, and a finite value too large for one is
// out of range. value is set only on ok; a text longer than tokenmax is toolong.
verdict parsereal(const char* first, const char* last, double& value) noexcept;

// Output field: 16 columns, 5 decimals.
inline constexpr std::size_t fieldwidth = 16;
inline constexpr int fielddecimals = 5;

// formatfixed: writes value into out[0, fieldwidth) as printf("%16.5f") does:
// the exact binary value rounded to 5 decimals (ties to even), right-justified,
// a leading zero below one, a minus sign whenever the sign bit is set. A value
// that does not fit fills the field with asterisks; NaN and the infinities are
// written as NaN, Infinity and -Infinity.
void formatfixed(double value, char* out) noexcept;

} // namespace converter

#endif
