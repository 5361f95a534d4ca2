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

} // namespace

diagnostic& diagnostic::operator<<(std::string_view s) noexcept {
    for (const char c : s)
        put(c);
    return *this;
}

diagnostic& diagnostic::operator<<(layout fields) noexcept {
    for (const field& f : fields)
        *this << " " << f.name;
    return *this;
}

diagnostic& diagnostic::operator<<(std::int64_t n) noexcept {
    char digits[24];
    return *this << std::string_view(digits, std::to_chars(digits, std::end(digits), n).ptr);
}

diagnostic& diagnostic::quoted(std::string_view s, bool cut) noexcept {
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
    if (cut) *this << "...";
    put('"');
    return *this;
}

void diagnostic::send(int fd) noexcept {
    put('\n');
    writeall(systemio, fd, text_, used_); // nowhere left to complain
}

int writefailure(const char* program, const output& out, int err) noexcept {
    (diagnostic(program) << "write error: " << std::strerror(out.error())).send(err);
    return 1;
}

int outcome(const ending& e, const char* program, output& out, int err) noexcept {
    if (e.why == writeerror) return writefailure(program, out, err);
    if (e.why < 0) return out.flush() ? 0 : writefailure(program, out, err);

    if (!out.send(message) || !out.flush()) return writefailure(program, out, err);
    const failure& f = e.fail;
    diagnostic d(program, e.why == readerror ? e.line : f.line);
    if (e.why == readerror) {
        d << "read error: " << std::strerror(e.error);
    } else {
        d << f.at->name << ": ";
        if (f.nullvalue) {
            (d << "no value before ").quoted(f.text(), false);
        } else {
            d.quoted(f.text(), f.cut);
            switch (f.problem) {
            case verdict::outofrange: d << " is out of range"; break;
            case verdict::toolong: d << " is too long"; break;
            default:
                d << (f.at->kind == kind::integer ? " is not an integer" : " is not a number");
                break;
            }
        }
    }
    d.send(err);
    return 1;
}

} // namespace converter
