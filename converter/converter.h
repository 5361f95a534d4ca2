// The converter's main program, shared by tabjd and tabjd2: the header
// phase, the row phase in the program's row layouts, and the outcome.
#ifndef TABJD_CONVERTER_CONVERTER_H
#define TABJD_CONVERTER_CONVERTER_H

#include "converter/io.h"
#include "converter/julday.h"

#include <cstdint>
#include <iterator>
#include <span>
#include <utility>

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

// Reads field i of a constant layout, its kind and member known at compile
// time.
template <const auto& layout, std::size_t i> status readfield(input& in, row& r) noexcept {
    constexpr field f = layout[i];
    if constexpr (f.integer != nullptr)
        return in.readinteger(r.*f.integer);
    else
        return in.readreal(r.*f.real);
}

// The last integer read in a column, and its token: a column often repeats
// itself from row to row (the year, month and day of a day's rows), and the
// same bytes need no second reading. The key is the token's bytes with its
// length in the top byte, never 0.
struct lastinteger {
    std::uint64_t key = 0;
    std::int32_t value = 0;
};

// Reads field i of a constant layout from token i of a row read at once;
// false when the token is not a short one.
template <const auto& layout, std::size_t i, std::size_t n>
bool readfield(const input::rowtokens<n>& t, row& r, lastinteger& last) noexcept {
    constexpr field f = layout[i];
    const char* const p = t.base + t.start[i];
    const std::size_t length = t.length[i];
    if constexpr (f.integer != nullptr) {
        // Up to seven bytes and the length make a key no other token has.
        const std::uint64_t key = (digits::load(p) & digits::prefix(length)) | std::uint64_t{length}
                                                                                   << 56;
        if (key == last.key) {
            r.*f.integer = last.value;
            return true;
        }
        if (!shortinteger(p, length, r.*f.integer)) return false;
        last = {key, r.*f.integer};
        return true;
    } else if constexpr (f.real == &row::foo) {
        // Read and dropped: only its form counts, and no value is made.
        (void)last;
        double dropped;
        return shortreal(p, length, dropped);
    } else {
        (void)last;
        return shortreal(p, length, r.*f.real);
    }
}

// The row phase in one layout: converts rows from in to out until a read
// fails or the input ends, and returns that status (writeerror when out
// failed). On a failed read of a field, at is that field.
using rowphase = status(input& in, output& out, const field*& at) noexcept;

// A program: its name in messages, and its row layouts, one for reports
// whose heading line names no MINUTE column and one for those that do. The
// row phases, when given, are those layouts' own compiled loops (rows<>);
// without them the layouts are followed field by field.
struct program {
    const char* name;
    std::span<const field> shortrow;
    std::span<const field> minuterow;
    rowphase* shortphase = nullptr;
    rowphase* minutephase = nullptr;
};

// The row phase compiled for one constant layout: the choice of field is
// made once, at compile time, and each row is one straight run of reads
// into fixed members, julday and the row line.
template <const auto& layout> status rows(input& in, output& out, const field*& at) noexcept {
    constexpr std::int32_t hours = 0;
    constexpr double seconds = 0.0;
    constexpr std::size_t n = std::size(layout);
    row r;
    row date;
    std::int32_t day = daynumber(date.month, date.day, date.year);
    // The usual row at once; every field is read, so no branch waits on one.
    lastinteger last[n];
    const auto readtokens = [&]<std::size_t... i>(std::index_sequence<i...>) noexcept {
        input::rowtokens<n> t;
        if (!in.tokens(t)) return false;
        if ((int{readfield<layout, i>(t, r, last[i])} & ...) == 0) return false;
        in.nextrow(t);
        return true;
    };
    // Any row value by value; stops at the first field that fails.
    const auto readrow = [&]<std::size_t... i>(std::index_sequence<i...>) noexcept {
        status s = ok;
        const bool read =
            ((s = readfield<layout, i>(in, r), s == ok || (at = &layout[i], false)) && ...);
        return read ? in.endrow() : s;
    };
    for (;;) {
        in.beginrow();
        if (!readtokens(std::make_index_sequence<n>{}))
            if (const status s = readrow(std::make_index_sequence<n>{}); s != ok) return s;
        // Rows of one date follow each other: its day number is kept.
        if (((r.year ^ date.year) | (r.month ^ date.month) | (r.day ^ date.day)) != 0)
            [[unlikely]] {
            date = r;
            day = daynumber(r.month, r.day, r.year);
        }
        if (!out.rowline(fromday(day, hours, r.minutes, seconds), r.data)) return writeerror;
    }
}

// writefailure: reports on err that writing out failed, with its reason, as
// a run does; returns the exit status, 1.
int writefailure(const program& prog, const output& out, int err) noexcept;

// run: converts the report on in to row lines on out, with diagnostics on
// err. Returns the exit status: 0 at the end of the input, 1 after a read
// error, a value that does not convert, or a write error.
int run(const program& prog, int in = 0, int out = 1, int err = 2,
        const sysio& sys = systemio) noexcept;

} // namespace converter

#endif
