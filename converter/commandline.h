// The command line of both programs: a sole --help or --version is answered,
// and any other arguments are ignored.
#ifndef TABJD_CONVERTER_COMMANDLINE_H
#define TABJD_CONVERTER_COMMANDLINE_H

#include "converter/converter.h"

#include <string_view>

namespace converter {

// start: a program's entry. With --help or --version as the sole argument,
// writes help (the program's own text) or the version and licence to
// standard output without reading standard input, and returns 0, or 1 after
// a write error reported as a run reports one. Otherwise converts standard
// input to standard output: returns run(prog).
int start(const program& prog, std::string_view help, int argc, const char* const* argv) noexcept;

} // namespace converter

#endif
