// The header's reader on its own, and rows read field by field from a
// source that refills, fed in chunks of every size so that tokens, line
// ends and the byte-order mark fall across refills.
#include "converter/reader.h"
#include "tests/fakesys.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace converter;

using testing_support::feed;

constexpr std::size_t chunks[] = {1, 2, 3, 7, 4096};

// Reads rows of the given kinds (i integer, r real) field by field until a
// read fails, and renders them: values separated by blanks, rows by '|',
// then the status and the line it ended on.
std::string rows(std::string_view text, std::string_view kinds, std::size_t chunk) {
    testing_support::piecesource source{text, chunk};
    using testing_support::integers, testing_support::reals;
    const std::vector<field> fields = testing_support::fieldsof(kinds);
    // A member still holding its mark was not reached.
    constexpr std::int32_t unread = INT32_MIN;
    const auto render = [&](const row& r) {
        std::string values;
        for (std::size_t i = 0, a = 0, b = 0; i < kinds.size(); ++i) {
            const bool integer = kinds[i] == 'i';
            if (integer ? r.*integers[a] == unread : std::isnan(r.*reals[b])) break;
            values += integer ? std::to_string(r.*integers[a++]) : std::to_string(r.*reals[b++]);
            values += " ";
        }
        return values;
    };
    std::string out;
    for (;;) {
        row r{unread, unread, unread, unread, NAN, NAN};
        failure f;
        sightings seen;
        const status s = readrow(source, fields, r, f, seen);
        out += render(r);
        if (s != ok) {
            const auto line = s == badvalue ? f.line : source.line;
            return out + "status " + std::to_string(s) + " line " + std::to_string(line);
        }
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
    input in(0, feed(text, {.readsize = chunk}));
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

// What the header's reader has read past the header, the rest of its last
// read, is where the rows start, on the line after it.
TEST(Reader, RowsFollowTheHeader) {
    const std::string_view header = "head 1 2\n---- 9 9\n", rows = "1 2 3\n";
    const std::string text = std::string(header) + std::string(rows);
    for (const std::size_t chunk : chunks) {
        input in(0, feed(text, {.readsize = chunk}));
        char line[linewidth];
        ASSERT_EQ(in.readline(line), ok);
        ASSERT_EQ(in.readline(line), ok);
        EXPECT_EQ(in.line(), 3);
        const std::size_t past = (chunk - header.size() % chunk) % chunk;
        EXPECT_EQ(std::string_view(in.first(), in.last()), rows.substr(0, past)) << chunk;
    }
}

} // namespace
