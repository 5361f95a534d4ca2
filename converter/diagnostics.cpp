#include "converter/diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace converter {

namespace {

constexpr std::string_view message = " Error during I/O.\n";

// A diagnostic line, built in a fixed buffer and written with one call.
class diagnostic {
  public:
    explicit diagnostic(const char* program) noexcept { add(program).add(": "); }
    diagnostic& add(std::string_view s) noexcept {
        for (const char c : s)
            put(c);
        return *this;
    }
    diagnostic& number(long n) noexcept {
        char digits[24];
        std::size_t k = 0;
        auto u = static_cast<unsigned long>(n);
        do {
            digits[k++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u != 0);
        while (k > 0)
            put(digits[--k]);
        return *this;
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
        const char* p = text_;
        while (p < text_ + used_) {
            const ssize_t n = ::write(fd, p, static_cast<std::size_t>(text_ + used_ - p));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return; // nowhere left to complain
            p += n;
        }
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

void nearmiss::look(std::span<const char> line, long n, bool cut) noexcept {
    if (line_ != 0) return;
    const auto isblank = [](char c) noexcept { return c == ' ' || c == '\t'; };
    // Whether the lower-case word key is at line[i], in any case.
    const auto at = [line](std::size_t i, std::string_view key) noexcept {
        if (line.size() - i < key.size()) return false;
        for (std::size_t k = 0; k < key.size(); ++k)
            if ((line[i + k] | 0x20) != key[k]) return false;
        return true;
    };
    std::size_t i = 0;
    while (i < line.size() && isblank(line[i]))
        ++i;
    if (!at(i, "year")) return;
    while (i < line.size() && !at(i, "minute"))
        ++i;
    if (i == line.size()) return;
    line_ = n;
    std::memcpy(text_, line.data(), linewidth);
    shown_ = linewidth;
    while (shown_ > 0 && isblank(text_[shown_ - 1]))
        --shown_;
    cut_ = cut || std::any_of(line.begin() + linewidth, line.end(),
                              [&](char c) noexcept { return !isblank(c); });
}

void nearmiss::warn(const char* program, int err) const noexcept {
    if (line_ == 0) return;
    diagnostic d(program);
    d.add("line ").number(line_).add(": ").quoted({text_, shown_}, cut_);
    if (std::memcmp(text_, "YEAR", 4) == 0)
        d.add(" names no MINUTE in capitals in its first ").number(linewidth).add(" columns");
    else
        d.add(" is not a heading (a heading starts with YEAR in capitals in column 1)");
    d.add("; rows are read without a minute column").send(err);
}

void warnings::rows(const sightings& seen, long base) noexcept {
    // The first of each kind, in input order.
    const sighting* order[] = {&seen.decimalcomma, &seen.spread};
    if (seen.spread.met && (!seen.decimalcomma.met || seen.spread.line < seen.decimalcomma.line))
        std::swap(order[0], order[1]);
    for (const sighting* w : order) {
        const bool spread = w == &seen.spread;
        if (!w->met || said_[spread]) continue;
        said_[spread] = true;
        diagnostic d(program_);
        d.add("line ").number(w->line + base).add(": ");
        if (spread)
            d.add("the row begun on line ")
                .number(w->begun + base)
                .add(" takes its last value from this line and skips the numbers after it; is a "
                     "value missing at the end of line ")
                .number(w->begun + base)
                .add("?");
        else
            d.add("a comma and a digit follow the value, as in a decimal comma; the value is read "
                  "up to the comma and the rest of the line is skipped");
        d.send(err_);
    }
}

void warnings::hour(long n, std::size_t column, layout fields) const noexcept {
    diagnostic d(program_);
    d.add("line ").number(n).add(": the heading names HOUR, but rows have no hour field: they "
                                 "are read as");
    for (const field& f : fields)
        d.add(" ").add(f.name);
    if (column < fields.size())
        d.add(", the hour column as the ").add(fields[column].name);
    else
        d.add(", and the hour column is skipped");
    d.send(err_);
}

void warnings::endedinheader(long n, std::span<const char> first, bool lonecr) const noexcept {
    diagnostic d(program_);
    d.add("line ").number(n).add(": the input ended in the header, before a line starting "
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
        d.add("; its lines end in carriage returns alone (convert them with tr '\\r' '\\n')");
    d.send(err_);
}

int outcome(const ending& e, const char* program, output& out, int err) noexcept {
    if (e.why == writeerror) return writefailure(program, out, err);
    if (e.why < 0) return out.flush() ? 0 : writefailure(program, out, err);

    if (!out.text(message) || !out.flush()) return writefailure(program, out, err);
    diagnostic d(program);
    if (e.why == readerror) {
        d.add("line ").number(e.line).add(": read error: ").add(std::strerror(e.error));
    } else {
        const failure& f = e.fail;
        d.add("line ").number(f.line).add(": ").add(f.at->name).add(": ");
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
