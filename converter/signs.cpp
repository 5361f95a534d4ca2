#include "converter/signs.h"

#include "converter/diagnostics.h"
#include "converter/numbers.h"
#include "converter/reader.h"
#include "converter/rowscanner.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <string_view>
#include <utility>

namespace converter {

namespace {

constexpr std::string_view crhint =
    "its lines end in carriage returns alone (convert them with tr '\\r' '\\n')";

// The days of month m of year y, proleptic Gregorian.
constexpr std::int32_t monthdays(std::int32_t m, std::int32_t y) noexcept {
    if (m == 2) return 28 + (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0));
    return m == 4 || m == 6 || m == 9 || m == 11 ? 30 : 31;
}

} // namespace

void lookatdate(const row& r, std::size_t yeardigits, linecount n, sightings& seen) noexcept {
    const auto note = [&](sign s, const char* name, std::int32_t value, const char* what) {
        seen.note(s, {true, n, n, name, value, r.month, r.year, what});
    };
    if (r.month < 1 || r.month > 12) return note(sign::nodate, "month", r.month, "is not 1 to 12");
    if (r.day < 1 || r.day > (r.month == 1 ? 366 : 31))
        return note(sign::nodate, "day", r.day, "is not 1 to 31");
    if (r.year >= 0 && r.year <= 99 && yeardigits <= 2)
        return note(sign::nodate, "year", r.year, "has at most two digits");
    if (r.month != 1 && r.day > monthdays(r.month, r.year))
        return note(sign::pastmonth, "day", r.day, "is past the end of month");
    if ((r.month <= 2 ? r.year - 1 : r.year) < 0)
        note(sign::beforeyear0, "year", r.year, "is before 1 March of year 0");
}

bool isnumber(std::span<const char> t, bool whole) noexcept {
    const std::size_t s = !t.empty() && (t[0] == '+' || t[0] == '-');
    if (t.size() <= s || !(isdigitchar(t[s]) || t[s] == '.')) return false;
    if (whole) return std::all_of(t.begin() + static_cast<std::ptrdiff_t>(s), t.end(), isdigitchar);
    double d;
    return parsereal(t.data(), t.data() + t.size(), d) == verdict::ok;
}

namespace {

// Whether the lower-case key is at line[i], in any case; as a word, with
// no letter next to it, when word is set.
bool at(std::span<const char> line, std::size_t i, std::string_view key, bool word) noexcept {
    if (line.size() - i < key.size()) return false;
    for (std::size_t k = 0; k < key.size(); ++k)
        if (lowercase(line[i + k]) != key[k]) return false;
    const auto letter = [&](std::size_t k) {
        return static_cast<unsigned char>(lowercase(line[k]) - 'a') < 26;
    };
    const std::size_t end = i + key.size();
    return !word || ((i == 0 || !letter(i - 1)) && (end == line.size() || !letter(end)));
}

// Heading words for a minute, then for a column of the time of day, as the
// hint shows them.
constexpr struct {
    std::string_view word;
    const char* shown;
} headwords[] = {{"minute", "MINUTE"}, {"min", "MIN"},   {"hour", "HOUR"},
                 {"hours", "HOUR"},    {"hr", "HR"},     {"hh", "HH"},
                 {"hhmm", "HHMM"},     {"time", "TIME"}, {"second", "SECOND"}};

// The tokens of a header line, separated as row values are: the column of
// the one at text[at], and whether the line reads like a row (three
// integers and a number).
std::size_t columnof(std::span<const char> text, std::size_t at) noexcept {
    std::size_t words = 0;
    for (std::size_t i = 0; i < at; ++i)
        words += classof(text[i]) == byteclass::other &&
                 (i == 0 || classof(text[i - 1]) != byteclass::other);
    return words;
}
bool readslikerow(std::span<const char> line) noexcept {
    std::size_t i = 0, start = 0;
    for (int k = 0; k < 4; ++k) {
        for (start = i; i < line.size() && classof(line[i]) != byteclass::other; start = ++i) {
        }
        while (i < line.size() && classof(line[i]) == byteclass::other)
            ++i;
        if (!isnumber(line.subspan(start, i - start), k < 3)) return false;
    }
    return true;
}

constexpr std::size_t none = std::size_t(-1);

} // namespace

void warnings::header(std::span<const char> line, linecount n, bool heading, bool minute) noexcept {
    const std::span<const char> head = line.first(linewidth);
    separator_ = n;
    if (readslikerow(head)) rowlike_ = n;
    if (heading) {
        if (minute && minuteat_ == 0) minuteat_ = n;
        lastheading_ = n, lastnames_ = minute;
    }
    // Past what a heading may wear in front: blanks, quotes, a comment's #
    // or %, a byte-order mark.
    std::size_t i = 0;
    while (i < head.size() &&
           (std::string_view(" \t\"'#%").find(head[i]) != std::string_view::npos ||
            bom.find(head[i]) != std::string_view::npos))
        ++i;
    const bool like = at(line, i, "year", false);
    const bool under =
        std::exchange(like_, like) && std::none_of(head.begin(), head.end(), isdigitchar);
    // A hint: a minute word in a line like a heading (any MINUTE, MIN as a
    // word), or as a word in a line of words under one; else the first
    // time word of a line like a heading.
    for (std::size_t w = 0; w < std::size(headwords) && (hint_ == 0 || hour_); ++w) {
        const bool hour = w >= 2;
        if (hour ? !like || hint_ != 0 : minute || !(like || under)) continue;
        for (std::size_t k = like ? i : 0; k < (like ? line.size() : linewidth); ++k)
            if (at(line, k, headwords[w].word, w != 0 || !like)) {
                hint_ = n, hour_ = hour, word_ = headwords[w].shown;
                column_ = like ? columnof(line.subspan(i), k - i) : none;
                return;
            }
    }
}

void warnings::rowsfrom(layout fields, bool readminute) noexcept {
    fields_ = fields;
    if (readminute && !hour_) hint_ = 0; // the rows have their minute
    if (readminute && !lastnames_)
        (diagnostic(program_, lastheading_)
         << "this heading names no MINUTE, but the one on line " << minuteat_
         << " does: rows are read with a minute column")
            .send(err_);
}

void warnings::rows(const sightings& seen, linecount base) noexcept {
    minutes_.hundreds |= seen.hundreds;
    minutes_.lookfrom = std::max(minutes_.lookfrom, seen.lookfrom);
    if (seen.clock.met && !minutes_.clock.met)
        minutes_.clock = seen.clock, minutes_.clock.line += base;
    // The first of each kind, in input order.
    for (;;) {
        const sighting* w = nullptr;
        for (const sighting& s : seen.of)
            if (s.met && !said_[&s - seen.of] && (w == nullptr || s.line < w->line)) w = &s;
        if (w == nullptr) return;
        said_[w - seen.of] = true;
        say(*w, static_cast<sign>(w - seen.of), base);
    }
}

void warnings::say(const sighting& w, sign kind, linecount base) noexcept {
    diagnostic d(program_, w.line + base);
    switch (kind) {
    case sign::spread:
        d << "the row begun on line " << w.begun + base
          << " takes its last value from this line and skips the numbers after it; is a value "
             "missing at the end of line "
          << w.begun + base << "?";
        break;
    case sign::decimalcomma:
        d << "a comma and a digit follow the value, as in a decimal comma; the value is read up to "
             "the comma and the rest of the line is skipped";
        break;
    case sign::nodate:
        d << w.name << " " << w.value << " " << w.what << "; are the columns in the order"
          << fields_ << "?";
        break;
    case sign::numberafter:
        d << "a number follows the row's last value and is skipped; has the row more columns than"
          << fields_ << " (an index, an hour, a thousands separator or a decimal comma)?";
        break;
    case sign::lonecr:
        d << "a number follows a carriage return alone after the row and is skipped; " << crhint;
        break;
    case sign::pastmonth:
        d << "day " << w.value << " is past the end of month " << w.month << " of " << w.year
          << ": the date is carried into the next month";
        break;
    case sign::beforeyear0:
        d << "year " << w.value
          << " is before 1 March of year 0, where most Julian dates come out one day late";
        break;
    case sign::cutshort:
        d << "the input ends inside the row begun on this line, before its"
          << fields_.subspan(static_cast<std::size_t>(w.value)) << ": the row is dropped";
        break;
    case sign::kinds: break;
    }
    // A hint the row confirms, and the column of the header it read.
    if (hint_ != 0 && !std::exchange(hinted_, true) && kind <= sign::numberafter &&
        kind != sign::decimalcomma) {
        if (hour_)
            d << " The heading on line " << hint_ << " names " << word_ << ", but rows have no "
              << (*word_ == 'S' ? "seconds" : "hour") << " field";
        else
            d << " Line " << hint_
              << " names a minute, but no heading does (a line that starts with YEAR in capitals "
                 "and names MINUTE in its first 80 columns)";
        if (column_ < fields_.size())
            d << ": its " << word_ << " column is read as the " << fields_[column_].name;
        else if (column_ != none)
            d << ": its " << word_ << " column is skipped";
    }
    d.send(err_);
}

void warnings::ended(bool atend, bool converted) noexcept {
    if (const sighting& c = minutes_.clock;
        minutes_.lookfrom < INT32_MAX && c.met &&
        (std::popcount(minutes_.hundreds & 0x7FFEu) >= 3 || minutes_.hundreds > 0x7FFFu))
        (diagnostic(program_, c.line)
         << "minute " << c.value
         << " and every other minute past 59 end in 00 to 59, as clock times (HHMM) do; they are "
            "read as minutes of the day")
            .send(err_);
    if (atend && !converted && rowlike_ != 0)
        (diagnostic(program_, separator_)
         << "no row follows this line starting with ----, but line " << rowlike_
         << " before it reads as one: nothing was converted")
            .send(err_);
}

void endedinheader(const char* program, int err, linecount n, std::span<const char> first,
                   bool lonecr) noexcept {
    diagnostic d(program, n);
    d << "the input ended in the header, before a line starting with ----: nothing was converted";
    const auto byte = [first](std::size_t i) noexcept {
        return i < first.size() ? static_cast<unsigned char>(first[i]) : 0xFFu;
    };
    // UTF-16: a byte-order mark, or NUL in every other byte of the first four
    // characters.
    const bool mark = (byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF);
    bool odd = true, even = true;
    for (std::size_t i = 0; i < 8; i += 2) {
        even = even && byte(i) == 0 && byte(i + 1) != 0;
        odd = odd && byte(i + 1) == 0 && byte(i) != 0;
    }
    if (mark || odd || even)
        d << "; it is UTF-16 (convert it with iconv -f UTF-16 -t UTF-8)";
    else if (n == 1 && lonecr)
        d << "; " << crhint;
    d.send(err);
}

} // namespace converter
