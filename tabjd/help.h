// The start of what tabjd --help writes: the usage, the row layouts of
// layouts.h and the output, in short (man tabjd has them in full).
#ifndef TABJD_TABJD_HELP_H
#define TABJD_TABJD_HELP_H

#include <string_view>

namespace tabjd {

inline constexpr std::string_view help = R"(Usage: tabjd < REPORT > TABLE
Convert a tabular time-series report to astronomical Julian dates and values.

A report is header lines, a separator line starting with ----, then rows of
numbers separated by blanks, tabs or commas, each row one of:
  year month day value           no heading line names MINUTE
  year month day minute value    a heading line (YEAR in capitals from
                                 column 1) names MINUTE in its first 80
                                 columns; the minute of the day, from 0
Each row becomes one line of two fields, as printf "%16.5f%16.5f\n" writes
them: the Julian date (days begin at noon) and the value.
)";

} // namespace tabjd

#endif
