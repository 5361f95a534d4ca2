#include "converter/converter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <unistd.h>

namespace converter {

namespace {

constexpr std::string_view headingkey = "YEAR";
constexpr std::string_view minutekey = "MINUTE";
constexpr std::string_view separatorkey = "----";
constexpr std::string_view message = " Error during I/O.\n";

// How much of a header line is read: the heading's linewidth columns, and
// more for the near-miss warning, so that a MINUTE beyond them is seen too.
// A fixed prefix keeps memory flat however long the line.
constexpr std::size_t headerprefix = 1024;

bool startswith(const char* line, std::string_view key) noexcept {
    return std::memcmp(line, key.data(), key.size()) == 0;
}

// One row's fields in layout order. On failure, at is the field being read.
status readrow(input& in, std::span<const field> layout, row& r, const field*& at) noexcept {
    in.beginrow();
    for (const field& f : layout) {
        const status s =
            f.integer != nullptr ? in.readinteger(r.*f.integer) : in.readreal(r.*f.real);
        if (s != ok) {
            at = &f;
            return s;
        }
    }
    return in.endrow();
}

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

// A header line that looks like a heading naming a minute although rows are
// read without one, such as "Year Month Day Minute Value": the first such
// line is kept, and warned about once the separator shows that no heading
// gave the rows a minute column.
class nearmiss {
  public:
    // look: keeps line number n, the text of its first linewidth columns
    // and whether it goes on past them, if it is the first header line that
    // starts, after blanks, with "year" and names "minute" (in any case)
    // within its prefix.
    void look(std::span<const char> line, long n, bool cut) noexcept {
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
    // warn: the warning about the kept line, if there is one.
    void warn(const program& prog, int err) const noexcept {
        if (line_ == 0) return;
        diagnostic d(prog.name);
        d.add("line ").number(line_).add(": ").quoted({text_, shown_}, cut_);
        if (startswith(text_, headingkey))
            d.add(" names no MINUTE in capitals in its first ").number(linewidth).add(" columns");
        else
            d.add(" is not a heading (a heading starts with YEAR in capitals in column 1)");
        d.add("; rows are read without a minute column").send(err);
    }

  private:
    long line_ = 0; // none yet
    std::size_t shown_ = 0;
    bool cut_ = false;
    char text_[linewidth];
};

// The only way out of a run, with the status that ended it.
int outcome(status s, const program& prog, const input& in, output& out, const field* at,
            int err) noexcept {
    if (s == writeerror) return writefailure(prog, out, err);
    if (s < 0) return out.flush() ? 0 : writefailure(prog, out, err);

    if (!out.text(message) || !out.flush()) return writefailure(prog, out, err);
    diagnostic d(prog.name);
    d.add("line ").number(in.line()).add(": ");
    if (s == readerror) {
        d.add("read error: ").add(std::strerror(in.error()));
    } else {
        d.add(at != nullptr ? at->name : "field").add(": ");
        const std::string_view token = in.token();
        if (in.nullvalue()) {
            d.add("no value before ").quoted(token, false);
        } else {
            d.quoted(token, in.tokencut());
            switch (in.problem()) {
            case verdict::outofrange: d.add(" is out of range"); break;
            case verdict::toolong: d.add(" is too long"); break;
            default:
                d.add(at != nullptr && at->integer != nullptr ? " is not an integer"
                                                              : " is not a number");
                break;
            }
        }
    }
    d.send(err);
    return 1;
}

} // namespace

int writefailure(const program& prog, const output& out, int err) noexcept {
    diagnostic(prog.name).add("write error: ").add(std::strerror(out.error())).send(err);
    return 1;
}

int run(const program& prog, int in, int out, int err, const sysio& sys) noexcept {
    output writer(out, sys);
    input reader(in, &writer, sys);

    // Start-up.
    const std::int32_t hours = 0;
    const double seconds = 0.0;
    row r;
    bool header = true;
    bool readminute = false;
    char linein[headerprefix];
    nearmiss near;

    // Header phase: skip to the separator, learning from heading lines
    // whether rows carry a minute column.
    while (header) {
        const long number = reader.line();
        if (const status s = reader.readline(linein); s != ok)
            return outcome(s, prog, reader, writer, nullptr, err);
        if (startswith(linein, headingkey) &&
            std::string_view(linein, linewidth).find(minutekey) != std::string_view::npos)
            readminute = true;
        near.look(linein, number, reader.linecut());
        if (startswith(linein, separatorkey)) header = false;
    }
    if (!readminute) near.warn(prog, err);

    // Row phase: one row line per row, until the input ends or a read fails.
    const field* at = nullptr;
    if (rowphase* const phase = readminute ? prog.minutephase : prog.shortphase) {
        const status s = phase(reader, writer, at);
        return outcome(s, prog, reader, writer, at, err);
    }
    const std::span<const field> layout = readminute ? prog.minuterow : prog.shortrow;
    for (;;) {
        if (const status s = readrow(reader, layout, r, at); s != ok)
            return outcome(s, prog, reader, writer, at, err);
        const double jday = julday(r.month, r.day, r.year, hours, r.minutes, seconds);
        if (!writer.rowline(jday, r.data))
            return outcome(writeerror, prog, reader, writer, nullptr, err);
    }
}

} // namespace converter
