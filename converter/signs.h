// Signs that a report is being misread, and the warnings that say them: one
// line on standard error for the first sign of each kind, with what the
// program did. Output and exit status stay as they are.
//
// A warning claims only what the rows show. What the header shows (a line
// that looks like a heading naming a minute, a heading that names an hour)
// is a hint: it is said with the first row that confirms it, a number after
// the row's value or a date that is no date, and never alone. Two heading
// lines that disagree are the one sign the header gives by itself.
//
// The checks run in three places, each with one entry here: a header line
// (warnings::header), a row as its fields and the rest of its line are read
// (lookatdate, lookatminute, lookattail, from the field-by-field reader and
// the block kernel's quick rows), and the end of the input (warnings::ended).
// The sightings of the row phase are made on any thread, each block's its
// own; warnings, owned by the thread that writes, merges them in input order.
#ifndef TABJD_CONVERTER_SIGNS_H
#define TABJD_CONVERTER_SIGNS_H

#include "converter/status.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace converter {

enum class sign : unsigned char {
    decimalcomma, // blank-separated values, then a comma and a digit after the last
    spread,       // a last value from a later line, an integral one, and a number after it
    nodate,       // a month, day or year that is no part of a date
    numberafter,  // an integral last value, and a number after it on its line
    lonecr,       // a number after a carriage return alone after the row
    pastmonth,    // a day past its month's end, carried into the next month
    beforeyear0,  // a date before 1 March of year 0, where Julian dates come out a day late
    cutshort,     // the input ended inside a row
    kinds
};

struct sighting {
    bool met = false;
    linecount line = 0;  // the line warned about
    linecount begun = 0; // the line of the row's first value
    // The field shown, its value, the date's month and year, and what the
    // value is not; cutshort: the first field missing, as value.
    const char* name = nullptr;
    std::int32_t value = 0, month = 0, year = 0;
    const char* what = nullptr;
};

struct sightings {
    sighting of[static_cast<std::size_t>(sign::kinds)];
    // Minutes written as clock times: which hundreds of minutes were seen
    // ending in 00 to 59 (bit 15: past a day), and the first of them; from
    // one ending in 60 to 99 on, minutes are true ones and none is looked at.
    std::uint32_t hundreds = 0;
    std::int32_t lookfrom = 60;
    sighting clock;
    void note(sign s, const sighting& w) noexcept {
        if (sighting& o = of[static_cast<std::size_t>(s)]; !o.met) o = w, o.met = true;
    }
    bool met(sign s) const noexcept { return of[static_cast<std::size_t>(s)].met; }
};

// lookatdate: notes the first field of a row on line n that is no part of a
// date: a month out of 1 to 12, a day out of 1 to 31 (January takes the
// days of the year, to 366), a year of 0 to 99 written with at most two
// digits (yeardigits); else a day past its month's end, or a date before 1
// March of year 0.
void lookatdate(const row& r, std::size_t yeardigits, linecount n, sightings& seen) noexcept;

// lookatminute: notes minute m of a row on line n for the clock-time sign.
inline void lookatminute(std::int32_t m, linecount n, sightings& seen) noexcept {
    if (m < seen.lookfrom) [[likely]]
        return;
    if (m % 100 >= 60) {
        seen.lookfrom = INT32_MAX;
        return;
    }
    seen.hundreds |= 1u << (m > 1440 ? 15 : m / 100);
    if (!seen.clock.met) seen.clock = {true, n, n, "minute", m};
}

// What follows a row's last value on its line, as the field-by-field reader
// finds it.
struct rowtail {
    linecount begun, last; // the lines of the row's first and last values
    bool integral;         // the last value is written as an integer
    bool decimal;          // a comma and a digit right after it, in blank-separated values
    bool cr;               // a carriage return alone before the next token
    bool number;           // the next token is a number, whole
};

// lookattail: notes what the rest of a row's line shows. A number after the
// row can have displaced the reading only where the value read is integral:
// the first half of a decimal comma or thousands separator, an hour, an
// index, a day of the year.
inline void lookattail(const rowtail& t, sightings& seen) noexcept {
    const sighting w{true, t.last, t.begun};
    if (t.decimal) return seen.note(sign::decimalcomma, w);
    if (!t.number) return;
    if (t.cr)
        seen.note(sign::lonecr, w);
    else if (t.integral)
        seen.note(t.last != t.begun ? sign::spread : sign::numberafter, w);
}

// The block kernel's quick stand-in for lookattail, on a row of one line
// that ends in a line end: whether the field-by-field reader must look, from
// the bytes [after, next) between the row and the token after it (a
// carriage return there is alone) and whether the value is integral. Once
// the block has shown the sign, no row of its kind need.
inline bool taillooks(const char* after, const char* next, bool integral,
                      const sightings& seen) noexcept {
    if (!isdigitchar(*next) && *next != '+' && *next != '-' && *next != '.') return false;
    if (std::find(after, next, '\r') != next) return !seen.met(sign::lonecr);
    return integral && !seen.met(sign::numberafter);
}

// Whether t is a number as rows write them: digits, with a sign, a point
// and an exponent; only digits and a sign when whole is set.
bool isnumber(std::span<const char> t, bool whole) noexcept;

// Warnings: what the header hints and the rows show, said once each, in
// input order. Owned by the thread that writes.
class warnings {
  public:
    warnings(const char* program, int err) noexcept : program_(program), err_(err) {}
    // header: line n of the header, its first bytes (linewidth or more);
    // heading when it is a heading line, and minute when it names MINUTE.
    void header(std::span<const char> line, linecount n, bool heading, bool minute) noexcept;
    // rowsfrom: the header has ended; rows are read in fields.
    void rowsfrom(layout fields, bool readminute) noexcept;
    // rows: the row phase's sightings, their lines moved by base.
    void rows(const sightings& seen, linecount base = 0) noexcept;
    // ended: the row phase has ended, at the end of the input when atend;
    // converted tells whether any row was.
    void ended(bool atend, bool converted) noexcept;

  private:
    void say(const sighting& w, sign kind, linecount base) noexcept;

    const char* program_;
    int err_;
    layout fields_;
    bool said_[static_cast<std::size_t>(sign::kinds)] = {};
    sightings minutes_; // the clock-time sign, over every block
    // The header's hint: its line (0: none), its word, the column of that
    // word (none: -1), whether it is of the time of day, and whether it was
    // said. The line before, whether it looked like a heading. The first
    // heading naming MINUTE, the last heading and whether it names one. The
    // last header line that reads like a row, and the last header line.
    linecount hint_ = 0, minuteat_ = 0, lastheading_ = 0, rowlike_ = 0, separator_ = 0;
    const char* word_ = nullptr;
    std::size_t column_ = 0;
    bool hour_ = false, hinted_ = false, like_ = false, lastnames_ = false;
};

// endedinheader: warns on err that the input ended after line n, in the
// header; first is the start of its first line, and lonecr whether a line
// had a carriage return before its end.
void endedinheader(const char* program, int err, linecount n, std::span<const char> first,
                   bool lonecr) noexcept;

} // namespace converter

#endif
