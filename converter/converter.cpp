#include "converter/converter.h"

#include "converter/diagnostics.h"
#include "converter/reader.h"
#include "converter/rowphase.h"
#include "converter/signs.h"
#include "converter/writer.h"

#include <cerrno>
#include <cstring>
#include <string_view>

namespace converter {

namespace {

constexpr std::string_view headingkey = "YEAR";
constexpr std::string_view minutekey = "MINUTE";
constexpr std::string_view separatorkey = "----";

// How much of a header line is read: the heading's linewidth columns, and
// more for the near-miss warning, so that a MINUTE beyond them is seen too.
// A fixed prefix keeps memory flat however long the line.
constexpr std::size_t headerprefix = 1024;

} // namespace

int run(const program& prog, int in, int out, int err, const sysio& sys, instructionset which,
        parallelism spread) noexcept {
    output writer(out, sys);
    input reader(in, sys);

    // Header phase: skip to the separator, learning from heading lines
    // whether rows carry a minute column.
    bool header = true;
    bool readminute = false;
    char linein[headerprefix];
    warnings said(prog.name, err);
    linecount lastline = 0; // the last line read
    char first[8];          // the start of the first
    while (header) {
        const linecount number = reader.line();
        if (const status s = reader.readline(linein); s != ok) {
            if (s == endofinput && lastline != 0)
                endedinheader(prog.name, err, lastline, first, reader.lonecr());
            ending e;
            e.why = s;
            e.line = reader.errorline();
            e.error = reader.error();
            return outcome(e, prog.name, writer, err);
        }
        if (lastline == 0) std::memcpy(first, linein, sizeof first);
        lastline = number;
        const std::string_view line(linein, linewidth);
        const bool heading = line.starts_with(headingkey);
        const bool minute = heading && line.find(minutekey) != std::string_view::npos;
        readminute = readminute || minute;
        said.header(linein, number, heading, minute);
        header = !line.starts_with(separatorkey);
    }

    // Row phase: one row line per row, until the input ends or a read fails.
    const rowlayout& chosen = readminute ? prog.minuterow : prog.shortrow;
    said.rowsfrom(chosen.fields, readminute);
    blockkernel* const kernel = chosen.kernels[static_cast<int>(which)];
    ending e;
    if (!rowphase(reader, in, writer, chosen, kernel, sys, spread, said, e)) {
        e.why = readerror; // no memory for the blocks
        e.line = reader.line();
        e.error = ENOMEM;
    }
    said.ended(e.why == endofinput, !writer.empty());
    return outcome(e, prog.name, writer, err);
}

} // namespace converter
