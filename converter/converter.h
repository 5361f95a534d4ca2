// The converter's main program, shared by tabjd and tabjd2: the header
// phase, then the row phase with the block kernel of the program's row
// layout, and the outcome.
#ifndef TABJD_CONVERTER_CONVERTER_H
#define TABJD_CONVERTER_CONVERTER_H

#include "converter/kernel.h"
#include "converter/layout.h"
#include "converter/rowphase.h"
#include "converter/status.h"
#include "converter/sysio.h"

#include <cstddef>

namespace converter {

// A program: its name in messages, and its row layouts, one for reports
// whose heading line names no MINUTE column and one for those that do.
struct program {
    const char* name;
    rowlayout shortrow;
    rowlayout minuterow;
};

// run: converts the report on in to row lines on out, with diagnostics on
// err. Returns the exit status: 0 at the end of the input, 1 after a read
// error, a value that does not convert, or a write error. The kernels of
// the instruction set which (one this build and processor have; by default
// the best) convert the rows, on the threads spread gives.
int run(const program& prog, int in = 0, int out = 1, int err = 2, const sysio& sys = systemio,
        instructionset which = bestinstructions(),
        parallelism spread = defaultparallelism()) noexcept;

} // namespace converter

#endif
