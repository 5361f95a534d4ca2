// The outcome of reading: statuses, a field that did not convert, and how a
// run ended.
#ifndef TABJD_CONVERTER_STATUS_H
#define TABJD_CONVERTER_STATUS_H

#include "converter/layout.h"
#include "converter/numbers.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace converter {

// A count of lines, or a line's number: 64 bits, as a report may pass 2^31
// lines where long has 32.
using linecount = std::int64_t;

// Status of a read: 0 success, negative at the end of the input, positive on
// an error.
using status = int;
inline constexpr status ok = 0;
inline constexpr status endofinput = -1;
inline constexpr status pastspan = -2;  // a span of text ended inside a row
inline constexpr status readerror = 1;  // read(2) failed; errno is kept
inline constexpr status badvalue = 2;   // a field that does not convert
inline constexpr status writeerror = 3; // write(2) failed while draining output

// How much of a rejected token a diagnostic shows.
inline constexpr std::size_t shown = 40;

// A field that did not convert: which, where, and what it held.
struct failure {
    const field* at = nullptr; // the field being read
    linecount line = 0;        // the line the token is on, from 1
    verdict problem = verdict::ok;
    bool nullvalue = false; // a comma with no value before it
    bool cut = false;       // the token is longer than what is kept of it
    std::uint8_t length = 0;
    char token[shown] = {};

    std::string_view text() const noexcept { return {token, length}; }
};

// What ended a run: a status, and with it the failure (badvalue), or the
// line and errno of a read error.
struct ending {
    status why = endofinput;
    failure fail;
    linecount line = 0;
    int error = 0;
};

} // namespace converter

#endif
