#include "converter/diagnostics.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <unistd.h>

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

int writefailure(const char* program, const output& out, int err) noexcept {
    diagnostic(program).add("write error: ").add(std::strerror(out.error())).send(err);
    return 1;
}

} // namespace

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
            d.quoted(f.text(), f.problem == verdict::toolong);
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
