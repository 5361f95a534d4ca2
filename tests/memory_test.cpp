// Flat memory: a line of 100 MB, in the header or in a row, goes through the
// built program with its peak resident set no more than 1 MB above that of
// an empty run. The input is made as it is written into the pipe, never
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
    const testing_support::measured empty = testing_support::runfed(TABJD_PATH, [](int) {});
    ASSERT_EQ(empty.status, 0);
    ASSERT_GT(empty.peakkb, 0);
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
        const testing_support::measured m = testing_support::runfed(TABJD_PATH, [&](int fd) {
            bool open = send(fd, c.head);
            for (std::size_t sent = 0; open && sent < hundredmb; sent += run.size())
                open = send(fd, run);
            if (open) send(fd, c.tail);
        });
        EXPECT_EQ(m.status, 0) << c.name;
        EXPECT_EQ(m.out, c.out) << c.name;
        EXPECT_EQ(m.err, "") << c.name;
        EXPECT_LT(m.peakkb - empty.peakkb, allowancekb)
            << c.name << ": " << m.peakkb << " KiB against " << empty.peakkb << " KiB";
    }
}

} // namespace
