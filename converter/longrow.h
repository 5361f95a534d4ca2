// A row too long for the text at hand: read field by field from a source
// that streams (see rowscanner.h), so that a row of any length passes in a
// fixed buffer, and its row line written.
#ifndef TABJD_CONVERTER_LONGROW_H
#define TABJD_CONVERTER_LONGROW_H

#include "converter/fixedpoint.h"
#include "converter/julday.h"
#include "converter/kernel.h"
#include "converter/rowscanner.h"
#include "converter/writer.h"

namespace converter {

// longrow: the next row of in in the layout fields, and its row line on
// out. ok, or what readrow met (f says why on badvalue), or writeerror;
// what the row is a sign of in seen.
template <class source>
status longrow(source& in, output& out, layout fields, failure& f, sightings& seen) noexcept {
    row r;
    if (const status got = readrow(in, fields, r, f, seen); got != ok) return got;
    if (out.roomend() - out.room() < static_cast<std::ptrdiff_t>(rowlength) && !out.flush())
        return writeerror;
    fixedcache none[2];
    char* const line = out.room();
    formatfixed(julday(r.month, r.day, r.year, 0, r.minutes, 0.0), line, none[0]);
    formatfixed(r.data, line + fieldwidth, none[1]);
    line[2 * fieldwidth] = lineend;
    out.commit(line + rowlength);
    return ok;
}

} // namespace converter

#endif
