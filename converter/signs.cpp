#include "converter/signs.h"

#include "converter/diagnostics.h"
#include "converter/numbers.h"
#include "converter/reader.h"
#include "converter/rowscanner.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <string_view>
#include <tuple>
#include <utility>

namespace converter {

namespace {

constexpr std::string_view crhint =
    "its lines end in carriage returns alone (convert them with tr '\\r' '\\n')";
constexpr const char* monthnames[] = {"December", "January",   "February", "March",
                                      "April",    "May",       "June",     "July",
                                      "August",   "September", "October",  "November"};

// The days of month m of year y, proleptic Gregorian.
constexpr std::int32_t monthdays(std::int32_t m, std::int32_t y) noexcept {
    if (m == 2) return 28 + (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0));
    return m == 4 || m == 6 || m == 9 || m == 11 ? 30 : 31;
}

} // namespace

void lookatdate(const row& r, std::size_t yeardigits, std::int64_t n, sightings& seen) noexcept {
    const auto nodate = [&](const char* name, std::int32_t value, const char* what) {
        seen.note(sign::nodate, {true, n, n, name, value, 0, 0, what});
    };
    if (r.month < 1 || r.month > 12) return nodate("month", r.month, "is not 1 to 12");
    if (r.day < 1 || r.day > (r.month == 1 ? 366 : 31))
        return nodate("day", r.day, "is not 1 to 31");
    if (r.year >= 0 && r.year <= 99 && yeardigits <= 2)
        return nodate("year", r.year, "has at most two digits");
    if (r.month != 1 && r.day > monthdays(r.month, r.year))
        return seen.note(sign::pastmonth, {true, n, n, "day", r.day, r.month, r.year});
    if ((r.month <= 2 ? r.year - 1 : r.year) < 0)
        seen.note(sign::beforeyear0, {true, n, n, "year", r.year, r.month});
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
        const char c = lowercase(line[k]);
        return c >= 'a' && c <= 'z';
    };
    const std::size_t end = i + key.size();
    return !word || ((i == 0 || !letter(i - 1)) && (end == line.size() || !letter(end)));
}

// Heading words for a minute and for a column of the time of day, as the
// hint shows them; minute words first.
constexpr struct {
    std::string_view word;
    const char* shown;
    bool exact; // found only as a word
} headwords[] = {{"minute", "MINUTE", false}, {"min", "MIN", true},   {"hour", "HOUR", true},
                 {"hours", "HOUR", true},     {"hr", "HR", true},     {"hh", "HH", true},
                 {"hhmm", "HHMM", true},      {"time", "TIME", true}, {"second", "SECOND", true}};
constexpr std::size_t minutewords = 2;

// The first heading word of words [first, last) in text from column i on,
// and where; none when there is none.
std::pair<std::size_t, std::size_t> findword(std::span<const char> text, std::size_t i,
                                             std::size_t first, std::size_t last) noexcept {
    for (; i < text.size(); ++i)
        for (std::size_t w = first; w < last; ++w)
            if (at(text, i, headwords[w].word, headwords[w].exact)) return {w, i};
    return {last, 0};
}

// The column of the word at text[at]: the words before it, separated as
// row values are.
std::size_t columnof(std::span<const char> text, std::size_t at) noexcept {
    std::size_t words = 0;
    for (std::size_t i = 0; i < at; ++i)
        words += classof(text[i]) == byteclass::other &&
                 (i == 0 || classof(text[i - 1]) != byteclass::other);
    return words;
}

// Whether a header line reads like a row: three integers and a number.
bool readslikerow(std::span<const char> line) noexcept {
    std::size_t i = 0;
    for (int k = 0; k < 4; ++k) {
        while (i < line.size() && classof(line[i]) != byteclass::other)
            ++i;
        const std::size_t start = i;
        while (i < line.size() && classof(line[i]) == byteclass::other)
            ++i;
        if (!isnumber(line.subspan(start, i - start), k < 3)) return false;
    }
    return true;
}

} // namespace

void warnings::header(std::span<const char> line, std::int64_t n, bool cut, bool heading,
                      bool minute) noexcept {
    static_assert(sizeof text_ == linewidth);
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
           std::string_view(" \t\"'#%\xEF\xBB\xBF").find(head[i]) != std::string_view::npos)
        ++i;
    const bool like = at(line, i, "year", false);
    const std::int64_t under = std::exchange(like_, like ? n : 0);
    // A near miss: a line like a heading naming a minute, or a line of words
    // naming one under it; else the first time word of a line like a heading.
    auto [w, k] = findword(like ? line : head, like ? i : 0, 0, minutewords);
    const bool near = !minute && w < minutewords &&
                      (like || (under != 0 && std::none_of(head.begin(), head.end(), isdigitchar) &&
                                headwords[w].exact | at(head, k, "minute", true)));
    if (!near) {
        if (!like || hint_ != 0) return;
        std::tie(w, k) = findword(head, i, minutewords, std::size(headwords));
        if (w == std::size(headwords)) return;
    } else if (hint_ != 0 && !hour_) {
        return;
    }
    hint_ = n;
    hour_ = !near;
    under_ = near && !like ? under : 0;
    word_ = headwords[w].shown;
    column_ = under_ != 0 ? std::size_t(-1) : columnof(line.subspan(i), k - i);
    std::memcpy(text_, line.data(), linewidth);
    const auto blank = [](char c) noexcept { return c == ' ' || c == '\t'; };
    shown_ = static_cast<std::size_t>(
        std::find_if_not(std::rbegin(text_), std::rend(text_), blank).base() - text_);
    cut_ = cut || !std::all_of(line.begin() + linewidth, line.end(), blank);
}

void warnings::rowsfrom(layout fields, bool readminute) noexcept {
    fields_ = fields;
    if (readminute && !hour_) hint_ = 0; // the rows have their minute
    if (!readminute || lastnames_) return;
    diagnostic d(program_, lastheading_);
    d.add("this heading names no MINUTE, but the one on line ").number(minuteat_);
    d.add(" does: rows are read with a minute column").send(err_);
}

void warnings::rows(const sightings& seen, std::int64_t base) noexcept {
    minutes_.hundreds |= seen.hundreds;
    minutes_.trueminutes = minutes_.trueminutes || seen.trueminutes;
    if (seen.clock.met && !minutes_.clock.met)
        minutes_.clock = seen.clock, minutes_.clock.line += base;
    // The first of each kind, in input order.
    for (;;) {
        const sighting* w = nullptr;
        for (const sighting& s : seen.of)
            if (s.met && !said_[&s - seen.of] && (w == nullptr || s.line < w->line)) w = &s;
        if (w == nullptr) return;
        sighting at = *w;
        at.line += base, at.begun += base;
        const auto kind = static_cast<sign>(w - seen.of);
        said_[static_cast<std::size_t>(kind)] = true;
        say(at, kind);
    }
}

void warnings::say(const sighting& w, sign kind) noexcept {
    diagnostic d(program_, w.line);
    switch (kind) {
    case sign::spread:
        d.add("the row begun on line ").number(w.begun);
        d.add(" takes its last value from this line and skips the numbers after it; is a value "
              "missing at the end of line ")
            .number(w.begun)
            .add("?");
        break;
    case sign::decimalcomma:
        d.add("a comma and a digit follow the value, as in a decimal comma; the value is read up "
              "to the comma and the rest of the line is skipped");
        break;
    case sign::nodate:
        d.add(w.name).add(" ").number(w.value).add(" ").add(w.what);
        d.add("; are the columns in the order").fields(fields_).add("?");
        break;
    case sign::numberafter:
        d.add("a number follows the row's last value and is skipped; has the row more columns "
              "than")
            .fields(fields_)
            .add(" (an index, an hour, a thousands separator or a decimal comma)?");
        break;
    case sign::lonecr:
        d.add("a number follows a carriage return alone after the row and is skipped; ")
            .add(crhint);
        break;
    case sign::pastmonth:
        d.add("day ").number(w.value).add(" is past the end of ").add(monthnames[w.month % 12]);
        d.add(" ")
            .number(w.year)
            .add(": the date is carried into ")
            .add(monthnames[(w.month + 1) % 12]);
        break;
    case sign::beforeyear0:
        d.add("year ").number(w.value).add(
            " is before 1 March of year 0, where most Julian dates ");
        d.add("come out one day late");
        break;
    case sign::cutshort:
        d.add("the input ends inside the row begun on this line, before its")
            .fields(fields_.subspan(static_cast<std::size_t>(w.value)))
            .add(": the row is dropped");
        break;
    case sign::kinds: break;
    }
    // A hint the row confirms: the header's column that it read.
    if (hint_ != 0 && !hinted_ &&
        (kind == sign::numberafter || kind == sign::spread || kind == sign::nodate)) {
        hinted_ = true;
        if (hour_) {
            d.add(" The heading on line ").number(hint_).add(" names ").add(word_);
            d.add(", but rows have no ")
                .add(word_ == std::string_view("SECOND") ? "seconds" : "hour")
                .add(" field");
        } else {
            d.add(" Line ").number(hint_).add(" ").quoted({text_, shown_}, cut_);
            if (under_ != 0)
                d.add(" names a minute under line ")
                    .number(under_)
                    .add(", but a heading is one line");
            else if (std::memcmp(text_, "YEAR", 4) == 0)
                d.add(" names no MINUTE in capitals in its first ")
                    .number(linewidth)
                    .add(" columns");
            else
                d.add(" is not a heading (a heading starts with YEAR in capitals in column 1)");
        }
        if (column_ < fields_.size())
            d.add(": its ").add(word_).add(" column is read as the ").add(fields_[column_].name);
        else if (under_ == 0)
            d.add(": its ").add(word_).add(" column is skipped");
    }
    d.send(err_);
}

void warnings::ended(bool atend, bool converted) noexcept {
    const sighting& c = minutes_.clock;
    if (!minutes_.trueminutes && c.met &&
        (std::popcount(minutes_.hundreds & 0x7FFEu) >= 3 || (minutes_.hundreds & 0x8000u) != 0)) {
        diagnostic d(program_, c.line);
        d.add("minute ").number(c.value);
        d.add(" and every other minute past 59 end in 00 to 59, as clock times (HHMM) do; they are "
              "read "
              "as minutes of the day")
            .send(err_);
    }
    if (atend && !converted && rowlike_ != 0) {
        diagnostic d(program_, separator_);
        d.add("no row follows this line starting with ----, but line ").number(rowlike_);
        d.add(" before it reads as one: nothing was converted").send(err_);
    }
}

void endedinheader(const char* program, int err, std::int64_t n, std::span<const char> first,
                   bool lonecr) noexcept {
    diagnostic d(program, n);
    d.add("the input ended in the header, before a line starting "
          "with ----: nothing was converted");
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
        d.add("; it is UTF-16 (convert it with iconv -f UTF-16 -t UTF-8)");
    else if (n == 1 && lonecr)
        d.add("; ").add(crhint);
    d.send(err);
}

} // namespace converter
