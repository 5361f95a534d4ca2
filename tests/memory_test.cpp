// Flat memory: a line of 100 MB, in the header or in a row, goes through the
// built program with its peak resident set no more than 1 MB above that of
// the same input with a line of 1 MB. (Under an emulator the peak is the
// emulator's, its translated code included: the short run has had that
// translated too.) The input is made as it is written into the pipe, never
// held whole.
#include "support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

constexpr std::size_t hundredmb = std::size_t{100} << 20;
constexpr long allowancekb = 1024;

// Writes all of s, or stops if the reader has gone.
bool send(int fd, std::string_view s) {
    while (!s.empty()) {
        const ssize_t n = ::write(fd, s.data(), s.size());
        if (n <= 0) return false;
        s.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

struct longline {
    const char* name;
    std::string_view head; // before the long run of bytes
    char fill;             // the run, 100 MB of it
    std::string_view tail; // after it
    std::string_view out;
};

TEST(Memory, LongLinesKeepMemoryFlat) {
    if (::access("/proc/self/status", R_OK) != 0)
        GTEST_SKIP() << "no /proc here to read a program's peak resident set from";
    // clang-format off
    const longline cases[] = {
        // name             head                      fill  tail                          out
        {"header line",     "",                       'h',  "\n----\n2000 1 1 1.5\n",     "   2451544.50000         1.50000\n"},
        {"row, text after", "----\n2000 1 1 1.5 ",    'x',  "\n2000 1 2 2.5\n",           "   2451544.50000         1.50000\n"
                                                                                          "   2451545.50000         2.50000\n"},
        {"row, blanks in",  "----\n2000 1 1",         ' ',  "1.5\n",                      "   2451544.50000         1.50000\n"},
    };
    // clang-format on
    const std::string block(std::size_t{1} << 20, '\0');
    for (const longline& c : cases) {
        const std::string run(block.size(), c.fill);
        const auto withline = [&](std::size_t length) {
            return testing_support::runfed(TABJD_PATH, [&](int fd) {
                bool open = send(fd, c.head);
                for (std::size_t sent = 0; open && sent < length; sent += run.size())
                    open = send(fd, run);
                if (open) send(fd, c.tail);
            });
        };
        const testing_support::measured shortrun = withline(block.size());
        const testing_support::measured m = withline(hundredmb);
        EXPECT_EQ(shortrun.out, c.out) << c.name;
        EXPECT_GT(shortrun.peakkb, 0) << c.name;
        EXPECT_EQ(m.status, 0) << c.name;
        EXPECT_EQ(m.out, c.out) << c.name;
        EXPECT_EQ(m.err, "") << c.name;
        EXPECT_LT(m.peakkb - shortrun.peakkb, allowancekb)
            << c.name << ": " << m.peakkb << " KiB against " << shortrun.peakkb << " KiB";
    }
}

} // namespace
