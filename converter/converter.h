// The converter's main program, shared by tabjd and tabjd2: the header
// phase, the row phase in the program's row layouts, and the outcome.
#ifndef TABJD_CONVERTER_CONVERTER_H
#define TABJD_CONVERTER_CONVERTER_H

#include "converter/io.h"
#include "converter/julday.h"

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

// One field of a row layout: its name in diagnostics and the member it
// fills, an integer or a real one.
struct field {
    const char* name;
    std::int32_t row::*integer;
    double row::*real;
};
constexpr field integerfield(const char* name, std::int32_t row::*where) noexcept {
    return {name, where, nullptr};
}
constexpr field realfield(const char* name, double row::*where) noexcept {
    return {name, nullptr, where};
}

// A program: its name in messages, and its row layouts, one for reports
// whose heading line names no MINUTE column and one for those that do.
struct program {
    const char* name;
    std::span<const field> shortrow;
    std::span<const field> minuterow;
};

// run: converts the report on in to row lines on out, with diagnostics on
// err. Returns the exit status: 0 at the end of the input, 1 after a read
// error, a value that does not convert, or a write error.
int run(const program& prog, int in = 0, int out = 1, int err = 2,
        const sysio& sys = systemio) noexcept;

} // namespace converter

#endif
