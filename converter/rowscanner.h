// The row scanner: what separates values, and how a row's values are found.
//
// Two ways find them, and both follow the separators defined here. The
// quick way takes the usual row, on one line within the next 64 bytes, all
// at once: the window is classified into bit masks (one bit a byte) and the
// tokens come from the masks. The field-by-field way reads any row, one
// value after another, from a span of memory or from a reader that refills.
#ifndef TABJD_CONVERTER_ROWSCANNER_H
#define TABJD_CONVERTER_ROWSCANNER_H

#include "converter/digits.h"
#include "converter/layout.h"
#include "converter/numbers.h"
#include "converter/signs.h"
#include "converter/status.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

namespace converter {

// ---- the separators ----------------------------------------------------
//
// Values are separated by blanks (space, tab, carriage return), line ends,
// and a comma with optional blanks around it. Every other byte is part of a
// value.
inline constexpr char blankbytes[] = {' ', '\t', '\r'};
inline constexpr char lineend = '\n';
inline constexpr char comma = ',';
// What old DOS and Windows tools may end a file with: a value that is this
// byte alone ends the input, when nothing but line ends follows it.
inline constexpr char dosend = '\x1a';

enum class byteclass : unsigned char { other, blank, newline, separatingcomma };

inline constexpr auto byteclasses = [] {
    struct table {
        byteclass of[256];
    } t{};
    for (const char b : blankbytes)
        t.of[static_cast<unsigned char>(b)] = byteclass::blank;
    t.of[static_cast<unsigned char>(lineend)] = byteclass::newline;
    t.of[static_cast<unsigned char>(comma)] = byteclass::separatingcomma;
    return t;
}();

constexpr byteclass classof(char c) noexcept {
    return byteclasses.of[static_cast<unsigned char>(c)];
}

// ---- failures ------------------------------------------------------------

inline status reject(failure& f, const field& at, linecount line, verdict why, const char* first,
                     std::size_t length, bool nullvalue = false) noexcept {
    f.at = &at;
    f.line = line;
    f.problem = why;
    f.nullvalue = nullvalue;
    f.cut = length > shown;
    f.length = static_cast<std::uint8_t>(std::min(length, shown));
    std::memcpy(f.token, first, f.length);
    return badvalue;
}

// ---- field by field --------------------------------------------------------
//
// A source of row text: the bytes [p, end), and line, the number of the
// line p is on. When a row runs past end, readpast() brings the next bytes,
// keeping those from p on; it returns ok when some came, endofinput when
// there are none (ended() is true from then on), or why it cannot: pastspan
// for a span whose row goes on past it, readerror or writeerror.

// The value of one field from the token [p, p + length).
inline verdict parsefield(const field& f, const char* p, std::size_t length, row& r) noexcept {
    const char* const last = p + length;
    switch (f.kind) {
    case kind::integer: return parseinteger(p, last, r.*f.integer);
    case kind::real: return parsereal(p, last, r.*f.real);
    case kind::dropped: break;
    }
    double dropped;
    return parsereal(p, last, dropped);
}

// pastdosend: over the end mark at in.p and the line ends after it; the
// source's status, or badvalue at a byte that is no line end, with the
// line back at the mark's, where the failure is.
template <class source> status pastdosend(source& in) noexcept {
    const linecount mark = in.line;
    for (++in.p;; ++in.p) {
        while (in.p == in.end)
            if (const status s = in.readpast(); s != ok) return s;
        if (*in.p == lineend)
            ++in.line;
        else if (*in.p != '\r')
            return in.line = mark, badvalue;
    }
}

// readrow: one row in the layout fields, value by value, then the rest of
// its line is passed over. ok with the row in r, and in seen what the row
// is a sign of (where seen has none of that kind yet); on a field that does
// not convert, badvalue with f saying why; otherwise the source's status, p
// then anywhere inside the row.
template <class source>
status readrow(source& in, layout fields, row& r, failure& f, sightings& seen) noexcept {
    bool nullable = true; // a comma here leaves a value out
    bool commas = false;  // a comma has separated two values
    rowtail tail{};
    std::size_t yeardigits = 0;
    // The input ended before field at: a row cut short, once it has begun.
    const auto ended = [&](const field& at, status s) noexcept {
        if (s == endofinput && &at != fields.data())
            seen.note(sign::cutshort, {true, tail.begun, tail.begun, nullptr,
                                       static_cast<std::int32_t>(&at - fields.data())});
        return s;
    };
    for (const field& at : fields) {
        // To the value: over blanks, line ends, and one comma after a value.
        for (;;) {
            if (in.p == in.end) {
                if (const status s = in.readpast(); s != ok) return ended(at, s);
                continue;
            }
            const byteclass c = classof(*in.p);
            if (c == byteclass::other) break;
            if (c == byteclass::newline) {
                ++in.line;
            } else if (c == byteclass::separatingcomma) {
                if (nullable) return reject(f, at, in.line, verdict::notanumber, in.p, 1, true);
                nullable = commas = true;
            }
            ++in.p;
        }
        if (&at == fields.data()) tail.begun = in.line;
        // The value, read on while it runs into the end of what is there.
        std::size_t length = 0;
        for (;;) {
            while (in.p + length != in.end && classof(in.p[length]) == byteclass::other)
                ++length;
            if (in.p + length != in.end || in.ended()) break;
            if (length > tokenmax) return reject(f, at, in.line, verdict::toolong, in.p, length);
            if (const status s = in.readpast(); s != ok && s != endofinput) return s;
        }
        if (const verdict v = parsefield(at, in.p, length, r); v != verdict::ok) {
            const status s = reject(f, at, in.line, v, in.p, length);
            return length == 1 && *in.p == dosend ? ended(at, pastdosend(in)) : s;
        }
        if (at.integer == &row::year) yeardigits = length;
        if (&at == &fields.back()) tail.integral = isnumber({in.p, length}, true);
        in.p += length;
        nullable = false;
    }
    lookatdate(r, yeardigits, tail.begun, seen);
    lookatminute(r.minutes, tail.begun, seen);
    // The rest of the line, and what starts it: past blanks and one comma,
    // the next token, and whether a carriage return alone came first.
    tail.last = in.line;
    status s = ok;
    const auto byte = [&](std::ptrdiff_t k) noexcept -> char {
        while (in.end - in.p <= k && !in.ended() && s == ok)
            if (const status got = in.readpast(); got != endofinput) s = got;
        return in.end - in.p > k ? in.p[k] : lineend;
    };
    tail.decimal = !commas && byte(0) == comma && isdigitchar(byte(1));
    char c;
    for (bool cells = false; (c = byte(0)) == ' ' || c == '\t' || c == '\r' ||
                             (c == comma && !std::exchange(cells, true));
         ++in.p)
        tail.cr = tail.cr || (c == '\r' && byte(1) != lineend);
    std::ptrdiff_t n = 0;
    while (n <= static_cast<std::ptrdiff_t>(tokenmax) && classof(byte(n)) == byteclass::other)
        ++n;
    if (s != ok) return s;
    tail.number = isnumber({in.p, static_cast<std::size_t>(n)}, false);
    lookattail(tail, seen);
    for (;;) {
        const auto have = static_cast<std::size_t>(in.end - in.p);
        if (const auto* nl = static_cast<const char*>(std::memchr(in.p, lineend, have))) {
            in.p = nl + 1;
            ++in.line;
            return ok;
        }
        in.p = in.end;
        if (const status got = in.readpast(); got != ok) return got == endofinput ? ok : got;
    }
}

// Text in memory, [p, end), p on line number line; it runs out at end,
// which is the end of the input when final is set. As a source, it has no
// more text past end. A block of rows for the kernel is one whose p starts
// a row and whose end follows a line end, or is final.
struct textspan {
    const char* p;
    const char* end;
    linecount line;
    bool final;
    bool ended() const noexcept { return final; }
    status readpast() const noexcept { return final ? endofinput : pastspan; }
};

// ---- the usual row at once -------------------------------------------------

// A 64-byte window of text as masks, bit i for byte i.
struct windowmasks {
    std::uint64_t separators = 0; // every separating byte
    std::uint64_t lineends = 0;
    std::uint64_t commas = 0;
};
inline constexpr std::size_t window = 64;

// The first n tokens of a row, as offsets from its first byte.
template <std::size_t n> struct rowtokens {
    std::uint8_t start[n], length[n];
    std::uint8_t next; // the offset just past the row's line end
    std::uint8_t more; // the offset of a token after the n on the line, else 0
};

// tokens: the row starting at the window's first byte as tokens, when it
// is the usual row: on one line that ends in the window, holding at least n
// values, and leaving none out (no comma before its first value, no two
// between two values). false when it is to be read field by field.
template <std::size_t n>
[[gnu::always_inline]] inline bool tokens(const windowmasks& m, rowtokens<n>& row) noexcept {
    static_assert(n >= 1 && window == 64);
    // A token starts where a separator (or the window) ends, and ends where
    // a separator starts.
    const std::uint64_t text = ~m.separators;
    std::uint64_t starts = text & ~(text << 1);
    std::uint64_t ends = m.separators & (text << 1);
    unsigned last = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned first = digits::lowest(starts); // a token that ends starts
        last = digits::lowest(ends);
        starts &= starts - 1;
        ends &= ends - 1;
        row.start[i] = static_cast<std::uint8_t>(first);
        row.length[i] = static_cast<std::uint8_t>(last - first);
    }
    if (last == window) return false; // fewer tokens end in the window: ends ran out
    // One line: no line end before the last token, one after it.
    const unsigned end = digits::lowest(m.lineends);
    if (end < last || end == window) return false;
    // Null values: a comma before the first token, or two between tokens.
    // A comma that directly follows the last of blank-separated values, text
    // after it, may be a decimal comma: the field-by-field way looks.
    if (digits::lowest(m.commas) <= last) { // a comma in the row, or right after it
        const std::uint64_t before = (std::uint64_t{1} << last) - 1;
        const std::uint64_t inrow = m.commas & (before | (before + 1));
        if (inrow == before + 1 && (m.separators & (before + 1) << 1) == 0) return false;
        // One before the first token, or after a comma, next to it or past
        // blanks (adding the bit after the comma carries over them).
        const std::uint64_t commas = inrow & before, blanks = m.separators & ~m.commas & before;
        const std::uint64_t twice = ((blanks + (commas << 1 & blanks)) & ~blanks) | commas << 1;
        if ((commas & (twice | ((std::uint64_t{1} << row.start[0]) - 1))) != 0) return false;
    }
    row.next = static_cast<std::uint8_t>(end + 1);
    row.more = static_cast<std::uint8_t>(
        (starts & ((std::uint64_t{1} << end) - 1)) != 0 ? digits::lowest(starts) : 0);
    return true;
}

} // namespace converter

#endif
