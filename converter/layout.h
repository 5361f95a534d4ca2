// Row layouts: the values a row carries and the fields, in order, that a
// program's rows are read into.
#ifndef TABJD_CONVERTER_LAYOUT_H
#define TABJD_CONVERTER_LAYOUT_H

#include <cstdint>
#include <span>

namespace converter {

// The values a row may carry.
struct row {
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t day = 0;
    std::int32_t minutes = 0; // stays 0 when rows carry no minute column
    double foo = 0;           // an extra column, read and dropped
    double data = 0;          // the value
};

// What a field is read as: an integer, a real, or a real that is read,
// checked for its form, and dropped.
enum class kind : unsigned char { integer, real, dropped };

// One field of a row layout: its name in diagnostics, its kind, and the
// member it fills.
struct field {
    const char* name;
    converter::kind kind;
    std::int32_t row::*integer;
    double row::*real;
};
constexpr field integerfield(const char* name, std::int32_t row::*where) noexcept {
    return {name, kind::integer, where, nullptr};
}
constexpr field realfield(const char* name, double row::*where) noexcept {
    return {name, kind::real, nullptr, where};
}
constexpr field droppedfield(const char* name) noexcept {
    return {name, kind::dropped, nullptr, &row::foo};
}

using layout = std::span<const field>;

} // namespace converter

#endif
