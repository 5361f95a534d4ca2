// The free-form reader and the field routines on arbitrary bytes.
//
// Input: byte 0 picks the row layout (how many fields, which are integers),
// byte 1 how many header lines come first and how read(2) hands the bytes
// over; the rest is the input. The reader runs twice, once given everything
// at once and once in small chunks with EINTR and EAGAIN thrown in; both
// runs must read the same values, statuses and line numbers. Then the bytes
// themselves go through parseinteger, parsereal and formatfixed, checked
// against the C library.
#include "converter/reader.h"
#include "fuzz/oracle.h"
#include "tests/fakesys.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

using fuzzing::check;

struct layout {
    int fields;       // 1 to 6
    unsigned integer; // bit i: field i is an integer
    int headerlines;  // read with readline before the rows
};

// Reads the whole input as the layout says and renders what came of it.
std::string trace(const layout& l, const std::uint8_t* data, std::size_t size, bool scattered) {
    // Scattered: pieces of 1 to 9 bytes.
    const testing_support::behaviour how{
        .readsize = scattered ? 9 : SIZE_MAX, .scattered = scattered, .seed = size};
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    converter::input in(0, testing_support::feed(input, how));
    std::string out;
    converter::linecount line = 1;
    const auto progress = [&] {
        check(in.line() >= line);
        line = in.line();
    };
    for (int h = 0; h < l.headerlines; ++h) {
        char text[converter::linewidth];
        const converter::status s = in.readline(text);
        progress();
        out.append(s == converter::ok ? text : "end", s == converter::ok ? sizeof text : 3);
        if (s != converter::ok) {
            check(s == converter::endofinput);
            return out;
        }
    }
    // The layout's fields, at most four integers and two reals: the members
    // a row has.
    using testing_support::integers, testing_support::reals;
    std::string kinds;
    std::size_t ni = 0, nr = 0;
    for (int f = 0; f < l.fields; ++f) {
        const bool integer = (((l.integer >> f) & 1) != 0 && ni < 4) || nr == 2;
        kinds += integer ? 'i' : 'r';
        ++(integer ? ni : nr);
    }
    const std::vector<converter::field> fields = testing_support::fieldsof(kinds);
    // The rows: the text after the header lines, in pieces of 1 to 9 bytes
    // when scattered.
    std::size_t start = 0;
    for (int h = 0; h < l.headerlines; ++h)
        start = std::min(input.find('\n', start), input.size() - 1) + 1;
    testing_support::piecesource stream{input.substr(start), scattered ? 1 + size % 9 : size};
    stream.line = in.line();
    std::size_t rows = 0;
    for (;;) {
        converter::row r;
        converter::failure failed;
        converter::sightings seen;
        const converter::status s = converter::readrow(stream, fields, r, failed, seen);
        check(stream.line >= line);
        line = stream.line;
        if (s == converter::ok) {
            for (std::size_t i = 0; i < ni; ++i)
                out += std::to_string(r.*integers[i]) + ' ';
            for (std::size_t i = 0; i < nr; ++i)
                out.append(reinterpret_cast<const char*>(&(r.*reals[i])), sizeof(double));
        }
        out += "|" + std::to_string(s) + " " + std::to_string(stream.line) + "\n";
        if (s == converter::badvalue) {
            check(failed.problem != converter::verdict::ok);
            check(failed.line >= line);
            out += std::string(failed.text()) + std::to_string(failed.line);
        }
        if (s != converter::ok) {
            check(s == converter::endofinput || s == converter::badvalue);
            return out;
        }
        // Every row takes at least one byte of input.
        check(++rows <= size);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const layout l{1 + data[0] % 6, static_cast<unsigned>(data[0] >> 3), data[1] % 3};
    const std::uint8_t* body = data + 2;
    const std::size_t length = size - 2;

    check(trace(l, body, length, false) == trace(l, body, length, true));

    // The bytes as one token, and the bit pattern they start with as a value.
    const auto* first = reinterpret_cast<const char*>(body);
    fuzzing::checkinteger(first, first + length);
    fuzzing::checkreal(first, first + length);
    double value = 0;
    if (converter::parsereal(first, first + length, value) == converter::verdict::ok)
        fuzzing::checkfield(value);
    if (length >= sizeof value) {
        std::memcpy(&value, body, sizeof value);
        fuzzing::checkfield(value);
    }
    return 0;
}
