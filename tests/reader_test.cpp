// The reader on its own, fed in chunks of every size so that tokens, line
// ends and the byte-order mark fall across refills.
#include "converter/io.h"
#include "memoryio.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace {

using namespace converter;

using testing_support::memory;
using testing_support::memorysys;

constexpr std::size_t chunks[] = {1, 2, 3, 7, 4096};

// Reads rows of the given kinds (i integer, r real) until a read fails, and
// renders them: values separated by blanks, rows by '|', then the status
// and the line it ended on.
std::string rows(std::string_view text, std::string_view kinds, std::size_t chunk) {
    memory = {std::string(text), chunk, 0, {}};
    input in(0, nullptr, memorysys);
    std::string out;
    for (;;) {
        in.beginrow();
        status s = ok;
        for (const char k : kinds) {
            std::int32_t i = 0;
            double d = 0;
            s = k == 'i' ? in.readinteger(i) : in.readreal(d);
            if (s != ok) break;
            out += (k == 'i' ? std::to_string(i) : std::to_string(d)) + " ";
        }
        if (s == ok) s = in.endrow();
        if (s != ok)
            return out + "status " + std::to_string(s) + " line " + std::to_string(in.line());
        out += "| ";
    }
}

struct rowcase {
    std::string_view text;
    std::string_view kinds;
    std::string_view expected;
};

TEST(Reader, FreeFormRows) {
    // clang-format off
    const rowcase cases[] = {
        // text                       kinds  expected
        {"1 2 3\n",                   "iii", "1 2 3 | status -1 line 2"},
        {"1 2 3",                     "iii", "1 2 3 | status -1 line 1"},
        {"1,2,3\n4 , 5 ,6\n",         "iii", "1 2 3 | 4 5 6 | status -1 line 3"},
        {"1\t2\t3\r\n4 5 6\r\n",      "iii", "1 2 3 | 4 5 6 | status -1 line 3"},
        {"1 2\n3 4\n",                "iii", "1 2 3 | status -1 line 3"},
        {"1\n\n   \n2 3 tail\n4 5 6", "iii", "1 2 3 | 4 5 6 | status -1 line 5"},
        {"1 2 3 x y z\n4 5 6,,/\n",   "iii", "1 2 3 | 4 5 6 | status -1 line 3"},
        {"1 2\n",                     "iii", "1 2 status -1 line 2"},
        {"1 2.5 3\n",                 "iri", "1 2.500000 3 | status -1 line 2"},
        {"1,2,\n3\n",                 "iii", "1 2 3 | status -1 line 3"},
        {"1 2 3\n4 x 6\n",            "iii", "1 2 3 | 4 status 2 line 2"},
        {"1,,3\n",                    "iii", "1 status 2 line 1"},
        {"1, ,3\n",                   "iii", "1 status 2 line 1"},
        {"1,\n,3\n",                  "iii", "1 status 2 line 2"},
        {",1,2,3\n",                  "iii", "status 2 line 1"},
        {"1 3*2 3\n",                 "iii", "1 status 2 line 1"},
        {"1 / 3\n",                   "iii", "1 status 2 line 1"},
        {"1 2 3\x01\n",               "iii", "1 2 status 2 line 1"},
    };
    // clang-format on
    for (const auto& c : cases)
        for (const std::size_t chunk : chunks)
            EXPECT_EQ(rows(c.text, c.kinds, chunk), c.expected)
                << '"' << c.text << "\" in chunks of " << chunk;
}

TEST(Reader, TokenLimit) {
    const std::string longest = "1 " + std::string(tokenmax - 1, '0') + "2 3\n";
    const std::string toolong = "1 " + std::string(tokenmax + 1, '0') + "2 3\n";
    for (const std::size_t chunk : chunks) {
        EXPECT_EQ(rows(longest, "iii", chunk), "1 2 3 | status -1 line 2") << chunk;
        EXPECT_EQ(rows(toolong, "iii", chunk), "1 status 2 line 1") << chunk;
    }
}

// Header lines: 80 columns, padded with blanks, the rest skipped.
std::string lines(std::string_view text, std::size_t chunk) {
    memory = {std::string(text), chunk, 0, {}};
    input in(0, nullptr, memorysys);
    char line[linewidth];
    std::string out;
    status s;
    while ((s = in.readline(line)) == ok) {
        std::string_view l(line, linewidth);
        l = l.substr(0, l.find_last_not_of(' ') + 1);
        out += std::string(l) + "|";
    }
    return out + "status " + std::to_string(s);
}

struct linecase {
    std::string text;
    std::string expected;
};

TEST(Reader, HeaderLines) {
    const std::string longline = std::string(79, 'a') + "bcdef";
    // clang-format off
    const linecase cases[] = {
        // text                 expected
        {"",                    "status -1"},
        {"\n",                  "|status -1"},
        {"one\ntwo",            "one|two|status -1"},
        {"one\r\ntwo\r\n",      "one|two|status -1"},
        {longline + "\nnext\n", std::string(79, 'a') + "b|next|status -1"},
        {"\xEF\xBB\xBFYEAR\n",  "YEAR|status -1"},
        {"\xEF\xBB\xBF",        "status -1"},
        {"\xEF\xBB",            "\xEF\xBB|status -1"},
        {"\xEF\xBBx\n",         "\xEF\xBBx|status -1"},
        {"a\xEF\xBB\xBF\n",     "a\xEF\xBB\xBF|status -1"},
    };
    // clang-format on
    for (const auto& c : cases)
        for (const std::size_t chunk : chunks)
            EXPECT_EQ(lines(c.text, chunk), c.expected) << "chunks of " << chunk;
}

// Header and rows from one reader: rows start on the line after the header.
TEST(Reader, RowsFollowTheHeader) {
    for (const std::size_t chunk : chunks) {
        memory = {"head 1 2\n---- 9 9\n1 2 3\n", chunk, 0, {}};
        input in(0, nullptr, memorysys);
        char line[linewidth];
        ASSERT_EQ(in.readline(line), ok);
        ASSERT_EQ(in.readline(line), ok);
        std::int32_t v = 0;
        in.beginrow();
        ASSERT_EQ(in.readinteger(v), ok);
        EXPECT_EQ(v, 1);
        EXPECT_EQ(in.line(), 3);
    }
}

} // namespace
