// Running a built program on given bytes, and what came of it.
#ifndef TABJD_TESTS_SUPPORT_H
#define TABJD_TESTS_SUPPORT_H

#include <string>
#include <string_view>

namespace testing_support {

struct result {
    std::string out;
    std::string err;
    int status = -1; // exit status, or 128 + signal
};

// How standard output is connected.
enum class stdoutmode { file, devfull, closed, brokenpipe };

// run: the program at path with input as its standard input (a file), or
// the file at stdinpath when one is given. SIGPIPE has its default action.
result run(const char* path, std::string_view input, stdoutmode mode = stdoutmode::file,
           const char* stdinpath = nullptr);

// The whole of a file.
std::string slurp(const std::string& path);

} // namespace testing_support

#endif
