// Row layouts of tabjd2: those of tabjd with one more column just before the
// value, read as a real and dropped.
#ifndef TABJD_TABJD2_LAYOUTS_H
#define TABJD_TABJD2_LAYOUTS_H

#include "converter/converter.h"

namespace tabjd2 {

using converter::droppedfield;
using converter::integerfield;
using converter::realfield;
using converter::row;

inline constexpr converter::field shortrow[] = {
    integerfield("year", &row::year), integerfield("month", &row::month),
    integerfield("day", &row::day),   droppedfield("extra"),
    realfield("value", &row::data),
};

inline constexpr converter::field minuterow[] = {
    integerfield("year", &row::year),
    integerfield("month", &row::month),
    integerfield("day", &row::day),
    integerfield("minute", &row::minutes),
    droppedfield("extra"),
    realfield("value", &row::data),
};

inline constexpr converter::program program{"tabjd2", converter::rowlayoutof<shortrow>,
                                            converter::rowlayoutof<minuterow>};

} // namespace tabjd2

#endif
