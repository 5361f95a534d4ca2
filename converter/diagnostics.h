// Diagnostics and the outcome of a run: the message line on standard output
// and one line on standard error saying what went wrong and where.
#ifndef TABJD_CONVERTER_DIAGNOSTICS_H
#define TABJD_CONVERTER_DIAGNOSTICS_H

#include "converter/layout.h"
#include "converter/status.h"
#include "converter/writer.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace converter {

// outcome: the only way out of a run. Writes what the ending calls for and
// returns the exit status: 0 at the end of the input; 1 after an error, with
// the message line " Error during I/O." on out (after the rows already
// there) and a diagnostic on err. A write error is reported on err alone.
int outcome(const ending& e, const char* program, output& out, int err) noexcept;

// writefailure: reports on err that writing out failed, with its reason, as
// a run does; returns the exit status, 1.
int writefailure(const char* program, const output& out, int err) noexcept;

// A diagnostic line, "program: " or "program: line n: " and what is added,
// built in a fixed buffer and written with one call.
class diagnostic {
  public:
    explicit diagnostic(const char* program) noexcept { *this << program << ": "; }
    diagnostic(const char* program, linecount n) noexcept : diagnostic(program) {
        *this << "line " << n << ": ";
    }
    diagnostic& operator<<(std::string_view s) noexcept;
    diagnostic& operator<<(std::int64_t n) noexcept;
    // The names of fields, each after a blank.
    diagnostic& operator<<(layout fields) noexcept;
    // Text from the input, quoted, with anything unprintable escaped, and
    // "..." after it when cut.
    diagnostic& quoted(std::string_view s, bool cut) noexcept;
    void send(int fd) noexcept;

  private:
    void put(char c) noexcept {
        if (used_ < sizeof text_ - 1) text_[used_++] = c;
    }
    char text_[512];
    std::size_t used_ = 0;
};

} // namespace converter

#endif
