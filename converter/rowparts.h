// What the block kernel keeps from row to row and reads a usual row's
// fields with, the same for every instruction set: the date that repeats,
// the quick readers of a row's tokens, and the Julian date column.
#ifndef TABJD_CONVERTER_ROWPARTS_H
#define TABJD_CONVERTER_ROWPARTS_H

#include "converter/fixedpoint.h"
#include "converter/julday.h"
#include "converter/layout.h"
#include "converter/numbers.h"
#include "converter/rowscanner.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace converter::kernel {

// The date of the last row taken at once: the row, and the text of its
// first three tokens, each padded with blanks to a word. Rows of one date
// repeat it, and their date needs no second reading: a row laid out as the
// last one has the same bytes up to its date's end and the one after it,
// and one whose separators differ the same tokens. A token that a quick
// reader takes, of up to seven bytes, leaves a blank in its word, so a
// longer one matches none; a word of blanks matches no row (a token starts
// with no blank), and neither do the zeros that stand for no row (the byte
// after a date is a separator).
struct datetext {
    static constexpr std::uint64_t blanks = digits::bytes(' ');
    static constexpr char none[window] = {};
    const char* row = none;
    std::uint64_t word[3] = {blanks, blanks, blanks};

    template <std::size_t n>
    [[gnu::always_inline]] static datetext of(const char* p, const rowtokens<n>& t) noexcept {
        datetext d;
        d.row = p;
        for (std::size_t i = 0; i < 3; ++i)
            d.word[i] =
                ((digits::load(p + t.start[i]) ^ blanks) & digits::prefix(t.length[i])) ^ blanks;
        return d;
    }
    // Compared at once, so that a repeated date costs one branch.
    bool same(const datetext& o) const noexcept {
        return ((word[0] ^ o.word[0]) | (word[1] ^ o.word[1]) | (word[2] ^ o.word[2])) == 0;
    }
};

// Whether a layout starts with the date: year, month and day, as integers,
// in any order.
template <const auto& fields> constexpr bool startsdated() noexcept {
    if (std::size(fields) < 3) return false;
    bool year = false, month = false, day = false;
    for (std::size_t i = 0; i < 3; ++i) {
        if (fields[i].kind != kind::integer) return false;
        year |= fields[i].integer == &row::year;
        month |= fields[i].integer == &row::month;
        day |= fields[i].integer == &row::day;
    }
    return year && month && day;
}
// The place of the year among a layout's fields.
template <const auto& fields> constexpr std::size_t yearfield() noexcept {
    std::size_t i = 0;
    while (i + 1 < std::size(fields) && fields[i].integer != &row::year)
        ++i;
    return i;
}

// Where the quick reader writes the value's field of the row line, and
// whether it did: when the value is a decimal of at most five decimals, the
// field is its own text; else the row's data makes it.
struct quickvalue {
    char* field;
    bool exact = false;
    bool integral = false; // written without a fraction
};

// Field i of a constant layout from its token of a row taken at once; false
// when the token is not one the quick readers take.
template <const auto& fields, std::size_t i, std::size_t n>
[[gnu::always_inline]] inline bool quickfield(const char* base, const rowtokens<n>& t, row& r,
                                              quickvalue& value) noexcept {
    constexpr field f = fields[i];
    const char* const p = base + t.start[i];
    const std::size_t length = t.length[i];
    if constexpr (f.kind == kind::integer) {
        return quickinteger(p, length, r.*f.integer);
    } else if constexpr (f.kind == kind::dropped) {
        // Only its form counts, and no value is made.
        decimal dropped;
        return quickdecimal(p, length, dropped);
    } else {
        decimal d;
        if (!quickdecimal(p, length, d)) return false;
        if constexpr (f.real != &row::data) {
            return nearest(d, r.*f.real);
        } else {
            value.exact = d.decimals <= fielddecimals;
            value.integral = d.decimals == 0;
            if (value.exact) writedecimal(d, value.field);
            return value.exact || nearest(d, r.data);
        }
    }
}

// The Julian date field of a row whose minute is one of the day's. The
// date is the Julian day number plus the fraction that the minute makes,
// rounded in the binade of the day number; as the day number is a whole
// number, that rounding, and the one to five decimals, depend on the minute
// and the binade alone. So the field is the text of the day number, kept
// while it lasts, and that of the minute's fraction, found once from the
// full computation for every day of the binade.
struct juliancolumn {
    static constexpr std::int32_t minutes = 1440;
    // The day numbers the fractions are for: a binade, [first, first + size).
    std::uint32_t first = 0;
    std::uint32_t size = 0;
    // Each minute's ".ddddd", the field's last six bytes, where they stand in
    // its second word; 0 while not found, 1 when it rounds up to a whole day.
    std::uint64_t fraction[minutes];
    // The day number whose text is kept: the field's first word, and the
    // first two bytes of its second.
    std::int32_t day = -1;
    std::uint64_t whole[2] = {};

    // write: the field of minute of the day daynumber at out; false when
    // it is not one the column serves.
    [[gnu::always_inline]] bool write(std::int32_t daynumber, std::int32_t minute,
                                      char* out) noexcept {
        if (static_cast<std::uint32_t>(minute) >= minutes) return false;
        const std::int32_t jd = daynumber - (minute < minutes / 2); // before noon: the day before
        if (static_cast<std::uint32_t>(jd) - first >= size) [[unlikely]] {
            if (jd <= 0) return false;
            first = std::bit_floor(static_cast<std::uint32_t>(jd));
            size = first;
            std::fill(std::begin(fraction), std::end(fraction), 0u);
        }
        constexpr std::uint64_t decimals = ~std::uint64_t{0xFFFF};
        std::uint64_t& f = fraction[minute];
        if (f <= 1) [[unlikely]] {
            if (f == 1) return false;
            const double jday = fromday(daynumber, 0, minute, 0.0);
            const std::uint64_t scaled = scaledmagnitude(std::bit_cast<std::uint64_t>(jday)) -
                                         static_cast<std::uint64_t>(jd) * 100000;
            if (scaled == 100000) return f = 1, false;
            char text[fieldwidth];
            fixedcache none;
            writefixed(scaled, false, text, none);
            f = digits::load(text + 8) & decimals;
        }
        if (jd != day) [[unlikely]] {
            char text[fieldwidth];
            fixedcache none;
            writefixed(static_cast<std::uint64_t>(jd) * 100000, false, text, none);
            whole[0] = digits::load(text);
            whole[1] = digits::load(text + 8) & ~decimals;
            day = jd;
        }
        digits::store(out, whole[0]);
        digits::store(out + 8, whole[1] | f);
        return true;
    }
};

} // namespace converter::kernel

#endif
