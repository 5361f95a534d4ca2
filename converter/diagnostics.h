// Diagnostics and the outcome of a run: the message line on standard output
// and one line on standard error saying what went wrong and where.
#ifndef TABJD_CONVERTER_DIAGNOSTICS_H
#define TABJD_CONVERTER_DIAGNOSTICS_H

#include "converter/reader.h"
#include "converter/rowscanner.h"
#include "converter/status.h"
#include "converter/writer.h"

#include <cstddef>
#include <span>

namespace converter {

// outcome: the only way out of a run. Writes what the ending calls for and
// returns the exit status: 0 at the end of the input; 1 after an error, with
// the message line " Error during I/O." on out (after the rows already
// there) and a diagnostic on err. A write error is reported on err alone.
int outcome(const ending& e, const char* program, output& out, int err) noexcept;

// writefailure: reports on err that writing out failed, with its reason, as
// a run does; returns the exit status, 1.
int writefailure(const char* program, const output& out, int err) noexcept;

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
    void look(std::span<const char> line, long n, bool cut) noexcept;
    // warn: the warning about the kept line, if there is one, on err.
    void warn(const char* program, int err) const noexcept;

  private:
    long line_ = 0; // none yet
    std::size_t shown_ = 0;
    bool cut_ = false;
    char text_[linewidth];
};

// Warnings: one line on err for each sign that a report is being misread,
// the first of each kind only. Standard output and the status stay as they
// are. Owned by the thread that writes.
class warnings {
  public:
    warnings(const char* program, int err) noexcept : program_(program), err_(err) {}
    // rows: the row phase's sightings, their lines moved by base.
    void rows(const sightings& seen, long base = 0) noexcept;
    // hour: the heading on line n names HOUR at word column; rows are read
    // in the layout fields.
    void hour(long n, std::size_t column, layout fields) const noexcept;
    // endedinheader: the input ended after line n, in the header; first is
    // the start of its first line, and lonecr whether a line had a carriage
    // return before its end.
    void endedinheader(long n, std::span<const char> first, bool lonecr) const noexcept;

  private:
    const char* program_;
    int err_;
    bool said_[2] = {};
};

} // namespace converter

#endif
