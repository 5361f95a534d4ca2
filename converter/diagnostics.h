// Diagnostics and the outcome of a run: the message line on standard output
// and one line on standard error saying what went wrong and where.
#ifndef TABJD_CONVERTER_DIAGNOSTICS_H
#define TABJD_CONVERTER_DIAGNOSTICS_H

#include "converter/rowscanner.h"
#include "converter/status.h"
#include "converter/writer.h"

namespace converter {

// What ended a run: a status, and with it the failure (badvalue), or the
// line and errno of a read error.
struct ending {
    status why = endofinput;
    failure fail;
    long line = 0;
    int error = 0;
};

// outcome: the only way out of a run. Writes what the ending calls for and
// returns the exit status: 0 at the end of the input; 1 after an error, with
// the message line " Error during I/O." on out (after the rows already
// there) and a diagnostic on err. A write error is reported on err alone.
int outcome(const ending& e, const char* program, output& out, int err) noexcept;

} // namespace converter

#endif
