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

// endedinheader: warns on err that the input ended after line n, in the
// header; first is the start of its first line, and lonecr whether a line
// had a carriage return before its end.
void endedinheader(const char* program, int err, std::int64_t n, std::span<const char> first,
                   bool lonecr) noexcept;

// Signs in the header that rows are read in a layout the report does not
// have. A near miss: a line that looks like a heading naming a minute but
// is none ("Year Month Day Minute Value", "# YEAR ... MIN ...", or quoted
// words), or a line naming a minute under one that looks like a heading
// ("(MINUTE)" under "YEAR MONTH DAY TIME VALUE"): the first is kept, and
// warned about when no heading gave the rows a minute column. And the
// first heading (or, where there is none, line that looks like one) that
// names a column the rows have no field for: HOUR, HR, TIME, SECOND...
class headersigns {
  public:
    // look: line n, its first bytes (linewidth or more) and whether it goes
    // on past them; heading when it is a heading line.
    void look(std::span<const char> line, std::int64_t n, bool cut, bool heading) noexcept;
    // warn: on err, what the kept lines show of rows read in fields.
    void warn(const char* program, int err, layout fields, bool readminute) const noexcept;

  private:
    std::int64_t near_ = 0;  // the near miss's line; none yet
    std::int64_t under_ = 0; // in a pair, the line it is under
    std::size_t shown_ = 0;
    bool cut_ = false;
    char text_[linewidth];
    std::int64_t like_ = 0;     // the last line, when it looked like a heading
    bool headed_ = false;       // a heading line has been seen
    std::int64_t hourline_ = 0; // the line naming a column of the time of day
    std::size_t hourcolumn_ = 0;
    const char* hourword_ = nullptr;
};

// Warnings about rows: one line on err for each sign that a report is being
// misread, the first of each kind only. Standard output and the status stay
// as they are. Owned by the thread that writes.
class warnings {
  public:
    warnings(const char* program, int err, layout fields) noexcept
        : program_(program), err_(err), fields_(fields) {}
    // rows: the row phase's sightings, their lines moved by base.
    void rows(const sightings& seen, std::int64_t base = 0) noexcept;

  private:
    const char* program_;
    int err_;
    layout fields_;
    bool said_[signs] = {};
};

} // namespace converter

#endif
