#include "converter/converter.h"

#include "converter/diagnostics.h"
#include "converter/engine.h"
#include "converter/reader.h"
#include "converter/writer.h"

#include <cerrno>
#include <cstring>
#include <string_view>

namespace converter {

namespace {

constexpr std::string_view headingkey = "YEAR";
constexpr std::string_view minutekey = "MINUTE";
constexpr std::string_view hourkey = "HOUR";
constexpr std::string_view separatorkey = "----";

// How much of a header line is read: the heading's linewidth columns, and
// more for the near-miss warning, so that a MINUTE beyond them is seen too.
// A fixed prefix keeps memory flat however long the line.
constexpr std::size_t headerprefix = 1024;

bool startswith(const char* line, std::string_view key) noexcept {
    return std::memcmp(line, key.data(), key.size()) == 0;
}

// The column of the word at text[at]: the words before it, separated as
// row values are.
std::size_t columnof(std::string_view text, std::size_t at) noexcept {
    std::size_t words = 0;
    for (std::size_t i = 0; i < at; ++i)
        words += classof(text[i]) == other && (i == 0 || classof(text[i - 1]) != other);
    return words;
}

} // namespace

int run(const program& prog, int in, int out, int err, const sysio& sys, kernelchoice which,
        parallelism spread) noexcept {
    output writer(out, sys);
    input reader(in, sys);

    // Header phase: skip to the separator, learning from heading lines
    // whether rows carry a minute column.
    bool header = true;
    bool readminute = false;
    char linein[headerprefix];
    nearmiss near;
    warnings said(prog.name, err);
    long lastline = 0; // the last line read
    char first[8];     // the start of the first
    long hourline = 0; // the first heading naming HOUR
    std::size_t hourcolumn = 0;
    while (header) {
        const long number = reader.line();
        if (const status s = reader.readline(linein); s != ok) {
            if (s == endofinput && lastline != 0)
                said.endedinheader(lastline, first, reader.lonecr());
            ending e;
            e.why = s;
            e.line = reader.errorline();
            e.error = reader.error();
            return outcome(e, prog.name, writer, err);
        }
        if (lastline == 0) std::memcpy(first, linein, sizeof first);
        lastline = number;
        if (startswith(linein, headingkey)) {
            const std::string_view heading(linein, linewidth);
            if (heading.find(minutekey) != std::string_view::npos) readminute = true;
            if (const std::size_t at = heading.find(hourkey);
                hourline == 0 && at != std::string_view::npos) {
                hourline = number;
                hourcolumn = columnof(heading, at);
            }
        }
        near.look(linein, number, reader.linecut());
        if (startswith(linein, separatorkey)) header = false;
    }
    if (!readminute) near.warn(prog.name, err);

    // Row phase: one row line per row, until the input ends or a read fails.
    const rowlayout& chosen = readminute ? prog.minuterow : prog.shortrow;
    if (hourline != 0) said.hour(hourline, hourcolumn, chosen.fields);
    blockkernel* kernel =
        which.reference ? chosen.kernels.reference : chosen.kernels.of[static_cast<int>(which.set)];
    if (kernel == nullptr) kernel = chosen.kernels.of[static_cast<int>(instructionset::swar)];
    ending e;
    if (!rowphase(reader, in, writer, chosen, kernel, sys, spread, said, e)) {
        e.why = readerror; // no memory for the blocks
        e.line = reader.line();
        e.error = ENOMEM;
    }
    return outcome(e, prog.name, writer, err);
}

} // namespace converter
