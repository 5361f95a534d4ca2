#include "converter/commandline.h"

#include "converter/diagnostics.h"
#include "converter/writer.h"

#include <cstring>
#include <initializer_list>

namespace converter {

namespace {

// The end of --help, the same for both programs; the man page's name follows.
constexpr std::string_view helpend =
    "\n"
    "Exit status: 0 at the end of the input; 1 when a value does not convert\n"
    "(after the line \" Error during I/O.\"), or reading or writing fails.\n"
    "\n"
    "Only as the sole argument (any other arguments are ignored):\n"
    "      --help     display this help and exit\n"
    "      --version  output version information and exit\n"
    "\n"
    "Full documentation: man ";

// --version after the program's name: the package, the version and the
// copyright holder come from the build (the project and packaging/copyright).
constexpr std::string_view version =
    " (" TABJD_PACKAGE ") " TABJD_VERSION "\n"
    "Copyright (C) " TABJD_COPYRIGHT "\n"
    "License Expat (MIT): <https://spdx.org/licenses/MIT.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

// Writes the texts to standard output; the exit status.
int answer(const program& prog, std::initializer_list<std::string_view> texts) noexcept {
    output out(1);
    for (const std::string_view text : texts)
        if (!out.send(text)) return writefailure(prog.name, out, 2);
    return out.flush() ? 0 : writefailure(prog.name, out, 2);
}

} // namespace

int start(const program& prog, std::string_view help, int argc, const char* const* argv) noexcept {
    rawstdio();
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0)
        return answer(prog, {help, helpend, prog.name, "\n"});
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
        return answer(prog, {prog.name, version});
    return run(prog);
}

} // namespace converter
