#include "converter/diagnostics.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

namespace converter {

namespace {

constexpr std::string_view message = " Error during I/O.\n";
constexpr std::string_view crhint =
    "its lines end in carriage returns alone (convert them with tr '\\r' '\\n')";

// A diagnostic line, built in a fixed buffer and written with one call.
class diagnostic {
  public:
    explicit diagnostic(const char* program) noexcept { add(program).add(": "); }
    // One about line n.
    diagnostic(const char* program, std::int64_t n) noexcept : diagnostic(program) {
        add("line ").number(n).add(": ");
    }
    diagnostic& add(std::string_view s) noexcept {
        for (const char c : s)
            put(c);
        return *this;
    }
    // The names of fields, each after a blank.
    diagnostic& fields(layout fields) noexcept {
        for (const field& f : fields)
            add(" ").add(f.name);
        return *this;
    }
    diagnostic& number(std::int64_t n) noexcept {
        char digits[24];
        return add({digits, std::to_chars(digits, std::end(digits), n).ptr});
    }
    // Text from the input, quoted, with anything unprintable escaped.
    diagnostic& quoted(std::string_view s, bool cut) noexcept {
        put('"');
        for (const char c : s) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x20 || u > 0x7e || c == '"' || c == '\\') {
                constexpr char hex[] = "0123456789abcdef";
                put('\\'), put('x'), put(hex[u >> 4]), put(hex[u & 15]);
            } else {
                put(c);
            }
        }
        if (cut) add("...");
        put('"');
        return *this;
    }
    void send(int fd) noexcept {
        put('\n');
        writeall(systemio, fd, text_, used_); // nowhere left to complain
    }

  private:
    void put(char c) noexcept {
        if (used_ < sizeof text_ - 1) text_[used_++] = c;
    }
    char text_[512];
    std::size_t used_ = 0;
};

} // namespace

int writefailure(const char* program, const output& out, int err) noexcept {
    diagnostic(program).add("write error: ").add(std::strerror(out.error())).send(err);
    return 1;
}

namespace {

// The lower case of a letter; no other byte becomes a letter.
constexpr char lower(char c) noexcept {
    return static_cast<char>(c | 0x20);
}
constexpr bool isletter(char c) noexcept {
    return lower(c) >= 'a' && lower(c) <= 'z';
}

// Whether the lower-case key is at line[i], in any case; as a word, with
// no letter next to it, when word is set.
bool at(std::span<const char> line, std::size_t i, std::string_view key, bool word) noexcept {
    if (line.size() - i < key.size()) return false;
    for (std::size_t k = 0; k < key.size(); ++k)
        if (lower(line[i + k]) != key[k]) return false;
    const std::size_t end = i + key.size();
    return !word ||
           ((i == 0 || !isletter(line[i - 1])) && (end == line.size() || !isletter(line[end])));
}

// Whether line names key from column i on, as a word when word is set.
bool names(std::span<const char> line, std::size_t i, std::string_view key, bool word) noexcept {
    for (; i < line.size(); ++i)
        if (at(line, i, key, word)) return true;
    return false;
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

// Words of a heading for a column of the time of day, and how the warning
// names them.
constexpr struct {
    std::string_view word;
    const char* shown;
} timewords[] = {{"hour", "HOUR"}, {"hours", "HOUR"}, {"hr", "HR"},        {"hh", "HH"},
                 {"hhmm", "HHMM"}, {"time", "TIME"},  {"second", "SECOND"}};

} // namespace

void headersigns::look(std::span<const char> line, std::int64_t n, bool cut,
                       bool heading) noexcept {
    const std::span<const char> head = line.first(linewidth);
    // Past what a heading may wear in front: blanks, quotes, a comment's #
    // or %, a byte-order mark.
    std::size_t i = 0;
    while (i < head.size() &&
           std::string_view(" \t\"'#%\xEF\xBB\xBF").find(head[i]) != std::string_view::npos)
        ++i;
    const bool like = at(line, i, "year", false);
    const std::int64_t under = std::exchange(like_, like ? n : 0);
    if (near_ == 0 &&
        (like ? names(line, i, "minute", false) || names(line, i, "min", true)
              : under != 0 && std::none_of(head.begin(), head.end(), isdigitchar) &&
                    (names(head, 0, "minute", true) || names(head, 0, "min", true)))) {
        near_ = n;
        under_ = like ? 0 : under;
        std::memcpy(text_, line.data(), linewidth);
        const auto blank = [](char c) noexcept { return c == ' ' || c == '\t'; };
        shown_ = static_cast<std::size_t>(
            std::find_if_not(std::rbegin(text_), std::rend(text_), blank).base() - text_);
        cut_ = cut || !std::all_of(line.begin() + linewidth, line.end(), blank);
    }
    // The words of the first heading, or else of the first line like one.
    if (heading && !std::exchange(headed_, true)) hourline_ = 0;
    if (!like || hourline_ != 0 || (headed_ && !heading)) return;
    for (std::size_t k = i; k < head.size(); ++k)
        for (const auto& t : timewords)
            if (at(head, k, t.word, true)) {
                hourline_ = n;
                hourcolumn_ = columnof(head.subspan(i), k - i);
                hourword_ = t.shown;
                return;
            }
}

void headersigns::warn(const char* program, int err, layout fields,
                       bool readminute) const noexcept {
    const auto nearmiss = [&] {
        if (near_ == 0 || readminute) return;
        diagnostic d(program, near_);
        d.quoted({text_, shown_}, cut_);
        if (under_ != 0)
            d.add(" names a minute under line ").number(under_).add(", but a heading is one line");
        else if (std::memcmp(text_, "YEAR", 4) == 0)
            d.add(" names no MINUTE in capitals in its first ").number(linewidth).add(" columns");
        else
            d.add(" is not a heading (a heading starts with YEAR in capitals in column 1)");
        d.add("; rows are read without a minute column").send(err);
    };
    const auto hour = [&] {
        if (hourline_ == 0) return;
        const char* kind = std::strcmp(hourword_, "SECOND") == 0 ? "seconds" : "hour";
        diagnostic d(program, hourline_);
        d.add("the heading names ").add(hourword_).add(", but rows have no ").add(kind);
        d.add(" field: they are read as").fields(fields);
        if (hourcolumn_ < fields.size())
            d.add(", the ").add(kind).add(" column as the ").add(fields[hourcolumn_].name);
        else
            d.add(", and the ").add(kind).add(" column is skipped");
        d.send(err);
    };
    if (hourline_ != 0 && hourline_ <= near_)
        hour(), nearmiss();
    else
        nearmiss(), hour();
}

void warnings::rows(const sightings& seen, std::int64_t base) noexcept {
    // The first of each kind, in input order.
    for (;;) {
        const sighting* w = nullptr;
        for (const sighting& s : seen.of)
            if (s.met && !said_[&s - seen.of] && (w == nullptr || s.line < w->line)) w = &s;
        if (w == nullptr) return;
        const auto kind = static_cast<sign>(w - seen.of);
        said_[kind] = true;
        diagnostic d(program_, w->line + base);
        switch (kind) {
        case spread:
            d.add("the row begun on line ")
                .number(w->begun + base)
                .add(" takes its last value from this line and skips the numbers after it; is a "
                     "value missing at the end of line ")
                .number(w->begun + base)
                .add("?");
            break;
        case decimalcomma:
            d.add("a comma and a digit follow the value, as in a decimal comma; the value is read "
                  "up to the comma and the rest of the line is skipped");
            break;
        case nodate:
            d.add(w->name).add(" ").number(w->value).add(" ").add(w->range);
            d.add("; are the columns in the order").fields(fields_).add("?");
            break;
        case numberafter:
            d.add("a number follows the row's last value and is skipped; has the row more columns "
                  "than")
                .fields(fields_)
                .add(" (an index, an hour, a thousands separator or a decimal comma)?");
            break;
        default:
            d.add("a number follows a carriage return alone after the row and is skipped; ")
                .add(crhint);
            break;
        }
        d.send(err_);
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

int outcome(const ending& e, const char* program, output& out, int err) noexcept {
    if (e.why == writeerror) return writefailure(program, out, err);
    if (e.why < 0) return out.flush() ? 0 : writefailure(program, out, err);

    if (!out.send(message) || !out.flush()) return writefailure(program, out, err);
    const failure& f = e.fail;
    diagnostic d(program, e.why == readerror ? e.line : f.line);
    if (e.why == readerror) {
        d.add("read error: ").add(std::strerror(e.error));
    } else {
        d.add(f.at->name).add(": ");
        if (f.nullvalue) {
            d.add("no value before ").quoted(f.text(), false);
        } else {
            d.quoted(f.text(), f.cut);
            switch (f.problem) {
            case verdict::outofrange: d.add(" is out of range"); break;
            case verdict::toolong: d.add(" is too long"); break;
            default:
                d.add(f.at->kind == kind::integer ? " is not an integer" : " is not a number");
                break;
            }
        }
    }
    d.send(err);
    return 1;
}

} // namespace converter
