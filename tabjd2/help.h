// The start of what tabjd2 --help writes: the usage, the row layouts of
// layouts.h and the output, in short (man tabjd2 has them in full).
#ifndef TABJD_TABJD2_HELP_H
#define TABJD_TABJD2_HELP_H

#include <string_view>

namespace tabjd2 {

inline constexpr std::string_view help = R"(Usage: tabjd2 < REPORT > TABLE
Convert a tabular time-series report whose rows carry one more column before
the value to astronomical Julian dates and values; that column is dropped.

A report is header lines, a separator line starting with ----, then rows of
numbers separated by blanks, tabs or commas, each row one of:
  year month day extra value           no heading line names MINUTE
  year month day minute extra value    a heading line (YEAR in capitals
                                       from column 1) names MINUTE in its
                                       first 80 columns; the minute of the
                                       day, from 0
The extra column must be a number; it is read and dropped. Each row becomes
one line of two fields, as printf "%16.5f%16.5f\n" writes them: the Julian
date (days begin at noon) and the value.
)";

} // namespace tabjd2

#endif
