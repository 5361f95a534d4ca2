// Both programs, whole, on arbitrary input held in memory.
//
// Each program converts the input through scripted system calls: with every
// read and write done in full, in small chunks with short writes, EINTR and
// EAGAIN thrown in, and so on two threads in small blocks. Both runs must give the same bytes on
// standard output and standard error and the same status, and the output
// must have the programs' shape: row lines of two 16-column fields, or the
// message line as the very last line, written exactly when the status is 1.
// The layout follows the heading line, so inputs with and without a MINUTE
// column both come through the corpus.
#include "converter/converter.h"
#include "converter/signs.h"
#include "fuzz/oracle.h"
#include "tabjd/layouts.h"
#include "tabjd2/layouts.h"
#include "tests/fakesys.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using fuzzing::check;

constexpr std::string_view message = " Error during I/O.\n";

// A whole run of prog, in full or scattered: reads of 1 to 64 bytes, writes
// of 1 to 40.
testing_support::outcome convert(const converter::program& prog, const std::uint8_t* data,
                                 std::size_t size, bool scattered,
                                 converter::instructionset which = converter::bestinstructions(),
                                 converter::parallelism spread = {1}) {
    testing_support::behaviour how;
    if (scattered) how = {.readsize = 64, .writesize = 40, .scattered = true, .seed = size};
    return testing_support::convert(prog, {reinterpret_cast<const char*>(data), size}, how, which,
                                    spread);
}

// The same bytes out and diagnostics, and the same status.
bool same(const testing_support::outcome& a, const testing_support::outcome& b) {
    return a.out == b.out && a.err == b.err && a.status == b.status;
}

// A 16-column field: a right-justified fixed-point number with 5 decimals,
// asterisks, or a right-justified NaN or infinity.
bool isfield(std::string_view f) {
    if (f.find_first_not_of('*') == std::string_view::npos) return true;
    const std::size_t start = f.find_first_not_of(' ');
    if (start == std::string_view::npos || f.find(' ', start) != std::string_view::npos)
        return false;
    const std::string_view text = f.substr(start);
    if (text == "NaN" || text == "Infinity" || text == "-Infinity") return true;
    std::string_view digits = text.substr(text[0] == '-' ? 1 : 0);
    const std::size_t point = digits.size() - 6;
    if (digits.size() < 7 || digits[point] != '.') return false;
    for (std::size_t i = 0; i < digits.size(); ++i)
        if (i != point && (digits[i] < '0' || digits[i] > '9')) return false;
    return true;
}

void checkshape(const converter::program& prog, const testing_support::outcome& o) {
    check(o.status == 0 || o.status == 1);
    std::string_view rest = o.out;
    bool failed = false;
    while (!rest.empty()) {
        if (rest == message) {
            failed = true;
            break;
        }
        check(rest.size() >= 33 && rest[32] == '\n');
        check(isfield(rest.substr(0, 16)) && isfield(rest.substr(16, 16)));
        rest.remove_prefix(33);
    }
    check(failed == (o.status == 1));
    // Warnings, at most one of each kind: those of rows, and of minutes, an
    // empty row phase and the headings; then one diagnostic
    // line exactly when the run failed. Each names the program and a line.
    const std::string prefix = std::string(prog.name) + ": line ";
    std::size_t lines = 0;
    for (std::string_view err = o.err; !err.empty(); ++lines) {
        const std::size_t end = err.find('\n');
        check(end != std::string_view::npos && err.starts_with(prefix));
        err.remove_prefix(end + 1);
    }
    check(lines <=
              static_cast<std::size_t>(converter::sign::kinds) + 3 + std::size_t{o.status == 1} &&
          (o.status == 0 || lines >= 1));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using converter::instructionset;
    for (const converter::program* prog : {&tabjd::program, &tabjd2::program}) {
        // Field by field, whole; then every instruction set, whole and
        // scattered, and on two threads in blocks of a few bytes.
        const testing_support::outcome whole =
            convert(testing_support::referenceof(*prog), data, size, false);
        checkshape(*prog, whole);
        const converter::parallelism threads{2, 1 + size % 97};
        for (const instructionset which : testing_support::instructionsets()) {
            check(same(convert(*prog, data, size, false, which), whole));
            check(same(convert(*prog, data, size, true, which), whole));
            check(same(convert(*prog, data, size, true, which, threads), whole));
        }
    }
    return 0;
}
