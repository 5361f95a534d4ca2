// Row layouts of tabjd: year, month, day, an optional minute of the day, and
// the value.
#ifndef TABJD_TABJD_LAYOUTS_H
#define TABJD_TABJD_LAYOUTS_H

#include "converter/converter.h"

namespace tabjd {

using converter::integerfield;
using converter::realfield;
using converter::row;

inline constexpr converter::field shortrow[] = {
    integerfield("year", &row::year),
    integerfield("month", &row::month),
    integerfield("day", &row::day),
    realfield("value", &row::data),
};

inline constexpr converter::field minuterow[] = {
    integerfield("year", &row::year), integerfield("month", &row::month),
    integerfield("day", &row::day),   integerfield("minute", &row::minutes),
    realfield("value", &row::data),
};

inline constexpr converter::program program{"tabjd", converter::rowlayoutof<shortrow>,
                                            converter::rowlayoutof<minuterow>};

} // namespace tabjd

#endif
