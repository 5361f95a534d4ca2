// Running a built program on given bytes, and what came of it.
#ifndef TABJD_TESTS_SUPPORT_H
#define TABJD_TESTS_SUPPORT_H

#include "tabjd/layouts.h"
#include "tabjd2/layouts.h"

#include <array>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace testing_support {

// The two programs as the tests run them: in this process, or built; and
// what a row of theirs carries before its value.
struct programcase {
    const converter::program& prog;
    const char* path;
    const char* name;
    const char* extra;
};
inline const programcase programs[] = {{tabjd::program, TABJD_PATH, "tabjd", ""},
                                       {tabjd2::program, TABJD2_PATH, "tabjd2", "0.5 "}};

// n rows after head, each "2000 1 1 " then mark and its number.
inline std::string manyrows(int n, std::string_view head = "----\n", std::string_view mark = "") {
    std::string s(head);
    for (int i = 0; i < n; ++i)
        s.append("2000 1 1 ").append(mark).append(std::to_string(i)).append("\n");
    return s;
}

// line, n times over.
inline std::string repeated(std::string_view line, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += line;
    return s;
}

struct result {
    std::string out;
    std::string err;
    int status = -1; // exit status, or 128 + signal
};

// How standard output is connected: limited is a file that may grow to
// outputlimit bytes (ulimit -f).
enum class stdoutmode { file, devfull, closed, brokenpipe, limited };
inline constexpr long outputlimit = 1000003;

// Why this system cannot connect standard output as mode, or nullptr:
// /dev/full, and a write cut at the file size limit, are Linux's.
const char* lacks(stdoutmode mode);

// run: the program at path, with args after its name, with input as its
// standard input (a file, read from byte skip on, as after a shell has read
// lines of it), or the file at stdinpath when one is given. SIGPIPE and
// SIGXFSZ have their default action.
result run(const char* path, std::string_view input, stdoutmode mode = stdoutmode::file,
           const char* stdinpath = nullptr, std::span<const char* const> args = {},
           std::size_t skip = 0);

// start: the program at path with args after its name (in a cross build,
// through the emulator, TABJD_EMULATOR, that runs it): its descriptors 0, 1
// and 2 are fds here (-1: closed), those in closed are closed in it, and
// SIGPIPE and SIGXFSZ have their default action. Throws if it cannot start.
pid_t start(const char* path, std::array<int, 3> fds, std::initializer_list<int> closed = {},
            std::span<const char* const> args = {});
// waitfor: the exit status of the child pid once it has ended, or 128 + the
// signal that ended it.
int waitfor(pid_t pid);

// runfed: the program at path reading standard input from a pipe that feed
// writes into (closed when feed returns), with output and diagnostics to
// files. Also gives the program's peak resident set size in KiB, taken when
// it has read everything fed and waits for the end of the input. SIGPIPE is
// ignored in this process while feed runs.
struct measured : result {
    long peakkb = 0;
};
measured runfed(const char* path, const std::function<void(int fd)>& feed);

// The whole of a file.
std::string slurp(const std::string& path);

} // namespace testing_support

#endif
