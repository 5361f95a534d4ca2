#include "converter/converter.h"

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

bool startswith(const char (&line)[linewidth], std::string_view key) noexcept {
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

int writefailure(const program& prog, const output& out, int err) noexcept {
    diagnostic(prog.name).add("write error: ").add(std::strerror(out.error())).send(err);
    return 1;
}

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
            d.quoted(token, in.problem() == verdict::toolong);
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

int run(const program& prog, int in, int out, int err, const sysio& sys) noexcept {
    output writer(out, sys);
    input reader(in, &writer, sys);

    // Start-up.
    const std::int32_t hours = 0;
    const double seconds = 0.0;
    row r;
    bool header = true;
    bool readminute = false;
    char linein[linewidth];

    // Header phase: skip to the separator, learning from heading lines
    // whether rows carry a minute column.
    while (header) {
        if (const status s = reader.readline(linein); s != ok)
            return outcome(s, prog, reader, writer, nullptr, err);
        if (startswith(linein, headingkey) &&
            std::string_view(linein, linewidth).find(minutekey) != std::string_view::npos)
            readminute = true;
        if (startswith(linein, separatorkey)) header = false;
    }

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
