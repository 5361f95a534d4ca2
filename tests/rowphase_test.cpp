// The quick paths of the row phase against the plain ones: quickinteger and
// quickdecimal against parseinteger and parsereal, the block kernel of each
// instruction set (rows read at once) against the kernel that reads every
// row field by field, and the row phase on several threads against that
// kernel on one thread in tiny blocks, on generated reports. The
// generator's seed is fixed, so a failure repeats.
#include "converter/converter.h"
#include "tabjd/layouts.h"
#include "tabjd2/layouts.h"
#include "tests/fakesys.h"
#include "tests/random.h"
#include "tests/support.h"

#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

using converter::verdict;

using testing_support::share;

using testing_support::generator;

// A token as the quick parsers see it: followed by a blank, with readable
// bytes past it.
struct padded {
    explicit padded(std::string_view token)
        : text(std::string(token) + ' ' + std::string(16, 'x')) {}
    const char* data() const { return text.data(); }
    std::string text;
};

bool quickinteger(std::string_view token, std::int32_t& value) {
    return converter::quickinteger(padded(token).data(), token.size(), value);
}
// A real as the row phase reads it quickly: its decimal digits, then the
// nearest double.
bool quickreal(std::string_view token, double& value) {
    converter::decimal d;
    return converter::quickdecimal(padded(token).data(), token.size(), d) &&
           converter::nearest(d, value);
}

// Taken by a quick parser: the same value, to the bit, as the plain one.
void expectsame(std::string_view token, int& failures) {
    std::int32_t i = 0, j = 0;
    if (quickinteger(token, i)) {
        const verdict v = converter::parseinteger(token.data(), token.data() + token.size(), j);
        if (v != verdict::ok || i != j)
            ADD_FAILURE() << '"' << token << "\" quick " << i << ", plain " << j, ++failures;
    }
    double x = 0, y = 0;
    if (quickreal(token, x)) {
        const verdict v = converter::parsereal(token.data(), token.data() + token.size(), y);
        if (v != verdict::ok || std::bit_cast<std::uint64_t>(x) != std::bit_cast<std::uint64_t>(y))
            ADD_FAILURE() << '"' << token << "\" quick " << x << ", plain " << y, ++failures;
    }
}

// Generated tokens, most of them near the common form, the others with
// the bytes next to the digits, and a zero byte: whenever a quick parser
// takes one, its value is the plain parser's.
TEST(ShortFields, AgreeWithTheParsers) {
    generator g{7};
    constexpr std::string_view pieces[] = {"0",    "1", "5", "9", "0",  "3",  "7",
                                           ".",    "-", "+", "e", "12", "99", "000",
                                           "\xff", "x", "/", ":", "*",  "d",  {"\0", 1}};
    int failures = 0;
    std::size_t taken = 0;
    const std::size_t total = 1000000 / share;
    std::string token;
    for (std::size_t k = 0; k < total && failures < 10; ++k) {
        token.clear();
        const std::size_t n = 1 + g.below<std::size_t>(k % 3 == 0 ? 20 : 9);
        if (g.chance(80)) {
            // [sign] digits [. digits]
            if (g.chance(20)) token += g.chance(70) ? '-' : '+';
            for (std::size_t i = 1 + g.below<std::size_t>(9); i > 0; --i)
                token += static_cast<char>('0' + g.below(10));
            if (g.chance(60)) {
                token += '.';
                for (std::size_t i = g.below<std::size_t>(10); i > 0; --i)
                    token += static_cast<char>('0' + g.below(10));
            }
        } else {
            for (std::size_t i = 0; i < n; ++i)
                token += g.pick(pieces);
        }
        expectsame(token, failures);
        std::int32_t i = 0;
        double x = 0;
        taken += quickinteger(token, i) || quickreal(token, x);
    }
    // Most of the common form goes the quick way; only its integers, where
    // quickreal declines.
    EXPECT_GT(taken, total / (converter::roundstodouble ? 2 : 8));
}

// ---- the row phase ------------------------------------------------------

using testing_support::convert;
using testing_support::instructionsets;
using testing_support::outcome;

// A report in every style a row may take: blanks, tabs, commas with and
// without blanks, carriage returns, rows broken over lines, blank lines,
// text after the row, wide columns, values that need the plain parsers,
// and now and then a fault that ends the run.
std::string report(generator& g, bool minute, bool extra, std::size_t rows) {
    constexpr std::string_view separators[] = {" ",  "  ",  "      ", "\t",   ",",
                                               ", ", " , ", " ,",     "\t,\t"};
    constexpr std::string_view values[] = {"82.2",
                                           "-5.125",
                                           "77",
                                           "0",
                                           "-0.0",
                                           "1234567.25",
                                           "+3.5",
                                           "1e3",
                                           "2.5D-2",
                                           ".5",
                                           "5.",
                                           "0.000001",
                                           "99999999",
                                           "1.23456789",
                                           "-12",
                                           "nan",
                                           "-Infinity",
                                           "65.11197",
                                           "2E+10",
                                           "1234567890123",
                                           "-0.00000",
                                           "9999999.99999",
                                           "1234567.1234567",
                                           "-0.000004",
                                           "0.000005",
                                           "-9999999.9",
                                           "007.25",
                                           "00.5",
                                           "-0",
                                           "+0",
                                           "-007",
                                           "0.00001",
                                           "-0.00001",
                                           "0000000",
                                           "+1234567.12345"};
    constexpr std::string_view faults[] = {"x", "1,,2", "3*1.5", "/", "1.5.5", "99999999999", ""};
    std::string r = "STATION  TEST\n\nYEAR MONTH DAY ";
    r += minute ? "MINUTE " : "";
    r += extra ? "QUALITY VALUE\n" : "VALUE\n";
    r += "---- ----- --- ------ -----\n";
    const std::size_t faultat = g.chance(50) ? g.below(rows) : rows;
    // Dates repeat, as in a report, in any style and now and then with
    // leading zeros (up to eight bytes).
    int date[3] = {};
    for (std::size_t i = 0; i < rows; ++i) {
        std::string fields[6];
        std::size_t n = 0;
        if (i == 0 || g.chance(40))
            date[0] = 1900 + g.below(200), date[1] = 1 + g.below(12), date[2] = 1 + g.below(28);
        for (const int part : date)
            fields[n++] =
                std::string(g.chance(10) ? g.below<std::size_t>(5) : 0, '0') + std::to_string(part);
        if (minute) fields[n++] = std::to_string(g.below(144) * 10);
        if (extra) fields[n++] = std::string(g.pick(values));
        fields[n++] = std::string(g.pick(values));
        if (g.chance(3)) fields[g.below(n)] = std::string(g.pick(values));
        if (g.chance(10)) r += std::string(g.below<std::size_t>(30), ' ');
        if (i == faultat) {
            if (g.chance(25))
                r += g.chance(50) ? "," : " ,"; // nothing before the first value
            else
                fields[g.below(n)] = std::string(g.pick(faults));
        }
        const std::string_view sep = g.pick(separators);
        for (std::size_t f = 0; f < n; ++f) {
            if (f != 0) r += g.chance(2) ? std::string_view("\n") : sep;
            r += fields[f];
        }
        if (g.chance(10)) r += "   text after " + std::string(g.below<std::size_t>(80), 'z');
        if (g.chance(5)) r += '\r';
        r += '\n';
        if (g.chance(2)) r += "\n  \t\n";
    }
    return r;
}

// Every instruction set this machine has, against field by field.
TEST(RowPhase, KernelsMatchFieldByField) {
    using converter::instructionset;
    const std::vector<instructionset> sets = instructionsets();
    generator g{11};
    const std::size_t reports = 400 / share;
    for (std::size_t k = 0; k < reports; ++k) {
        const testing_support::programcase& p = testing_support::programs[k % 2];
        const bool minute = k % 4 >= 2;
        const std::string input =
            report(g, minute, *p.extra != '\0', 1 + g.below<std::size_t>(600));
        // Whole, or in small pieces so that rows meet the buffer's end.
        const std::size_t chunk = k % 3 == 0 ? 1 + g.below<std::size_t>(200) : input.size();
        const outcome b = convert(testing_support::referenceof(p.prog), input, {.readsize = chunk});
        for (const instructionset which : sets) {
            const outcome a = convert(p.prog, input, {.readsize = chunk}, which);
            const int set = static_cast<int>(which);
            ASSERT_EQ(a.out, b.out) << p.prog.name << " report " << k << " set " << set;
            ASSERT_EQ(a.err, b.err) << p.prog.name << " report " << k << " set " << set;
            ASSERT_EQ(a.status, b.status) << p.prog.name << " report " << k << " set " << set;
        }
    }
}

// The Julian date column's fractions are found once a binade: every minute
// of days at the edges of binades, of the seven-digit day numbers, and of
// day numbers near zero, and minutes outside the day.
TEST(RowPhase, JulianDatesAcrossBinades) {
    const std::int32_t base = converter::daynumber(1, 0, 2000);
    const std::int32_t days[] = {1 << 20, 1 << 21, 1 << 22, 1 << 23, 1000000, 9999999, 0, 1, 2};
    std::string input = "YEAR MONTH DAY MINUTE VALUE\n----\n";
    for (const std::int32_t day : days)
        for (std::int32_t delta = -1; delta <= 1; ++delta) {
            const std::string date = "2000 1 " + std::to_string(day + delta - base) + " ";
            for (std::int32_t minute = -2; minute <= 1442; ++minute)
                input += date + std::to_string(minute) + " 1.5\n";
            for (const char* minute : {"-720", "2000", "100000", "-1000000"})
                input += date + minute + " 1.5\n";
        }
    const outcome b = convert(testing_support::referenceof(tabjd::program), input);
    ASSERT_EQ(b.status, 0);
    for (const converter::instructionset which : instructionsets())
        EXPECT_EQ(convert(tabjd::program, input, {}, which).out, b.out)
            << "set " << static_cast<int>(which);
}

// Lines past 2^31, where long has 32 bits: a warning and a failure after
// 2^31 blank lines, which the row phase reads as the start of one row.
TEST(RowPhase, LinesPast2To31) {
    const std::string input =
        "YEAR MONTH DAY VALUE\n----\n2000 1 1 1.5\n2000 13 1 2.5\n2000 1 1 x\n";
    constexpr std::size_t run = std::size_t{1} << 31;
    const outcome o = convert(tabjd::program, input, {.lineendsat = 39, .lineends = run});
    const auto said = [](std::size_t line) { return "tabjd: line " + std::to_string(line) + ": "; };
    EXPECT_EQ(o.err.find(said(run + 4)), 0u) << o.err;
    EXPECT_NE(o.err.find('\n' + said(run + 5)), std::string::npos) << o.err;
    EXPECT_EQ(o.status, 1);
}

// ---- the row scanner ----------------------------------------------------

struct windowcase {
    std::string_view row;
    std::string_view tokens; // the first five tokens joined by '|', or "" when not taken at once
};

// Which rows every instruction set takes at once (the usual ones), with the
// same tokens; the others are read field by field.
TEST(RowScanner, UsualRowsAtOnce) {
    // clang-format off
    const windowcase cases[] = {
        // row                                              tokens
        {"1921  1  1   10         82.3828\n",               "1921|1|1|10|82.3828"},
        {"1921,1,1,20,83.945503\n",                         "1921|1|1|20|83.945503"},
        {"1921\t1\t1\t30\t86.88\r\n",                       "1921|1|1|30|86.88"},
        {"1921 , 1 , 1 , 40 , 89.3\n",                      "1921|1|1|40|89.3"},
        {"  1921 1 1 0 3.5 text after, and more\n",         "1921|1|1|0|3.5"},
        {"1921 1 1 0 3.5,,\n",                              "1921|1|1|0|3.5"},
        {"1921 1\n1 0 3.5\n",                               ""},
        {",1921 1 1 0 3.5\n",                               ""},
        {"1921,,1 1 0 3.5\n",                               ""},
        {"1921, ,1 1 0 3.5\n",                              ""},
        {"\n1921 1 1 0 3.5\n",                              ""},
        {"1921 1 1 0\n",                                    ""},
        {"1921 1 1 0                                                   3.5\n", ""},
        // Bytes that share the low four bits of a separator, the top bit set or not.
        {"\xa0" "1921 1 1\x0c" "0 3.5 \x89\xac\x8d\x19\x3c\x2d\x1a\x2a\n", "\xa0" "1921|1|1\x0c" "0|3.5|\x89\xac\x8d\x19\x3c\x2d\x1a\x2a"},
    };
    // clang-format on
    // Each instruction set's classify, in the order of rowlayout's kernels.
    using classifier = converter::windowmasks(const char*) noexcept;
#if defined(__x86_64__)
    classifier* const classify[] = {converter::kernel::avx2::classify,
                                    converter::kernel::sse2::classify,
                                    converter::kernel::swar::classify};
#else
    classifier* const classify[] = {nullptr, nullptr, converter::kernel::swar::classify};
#endif
    for (const converter::instructionset set : instructionsets())
        for (const windowcase& c : cases) {
            // The window reads 64 bytes, whatever follows the row.
            const std::string text = std::string(c.row) + std::string(converter::window, 'x');
            converter::rowtokens<5> t{};
            const bool taken = converter::tokens(classify[static_cast<int>(set)](text.data()), t);
            std::string tokens;
            for (std::size_t i = 0; taken && i < 5; ++i) {
                if (i != 0) tokens += '|';
                tokens.append(text, t.start[i], t.length[i]);
            }
            EXPECT_EQ(tokens, c.tokens) << '"' << c.row << "\" set " << static_cast<int>(set);
            EXPECT_EQ(taken ? t.next : c.row.size(), c.row.size()) << '"' << c.row << '"';
        }
}

// ---- the row phase on several threads -----------------------------------

// The header of a report whose rows are the short layout.
const std::string head = "STATION  TEST\nYEAR MONTH DAY VALUE\n---- ----- --- -----\n";

using testing_support::repeated;

// Rows of 13 bytes, the one at `bad` spoilt: with blocks of 52 bytes, four
// rows a block, it fails at a block's first row, its second, its last, or
// deep in the report.
std::string failingat(std::size_t bad) {
    std::string s = head;
    for (std::size_t i = 0; i < 40; ++i)
        s += i == bad ? "2000 1 1 x.5\n" : "2000 1 1 1.5\n";
    return s;
}

struct threadedcase {
    const char* name;
    const converter::program& prog;
    std::string input;
};

// Each threaded run in blocks of a few bytes up to a few KiB, so that rows,
// tokens and runs of blank lines meet block ends everywhere, reading the
// input whole or a little at a time: byte for byte the reference run.
void expectreference(const threadedcase& c) {
    using converter::instructionset;
    // clang-format off
    const converter::parallelism spreads[] = {
        // threads  blocksize
        {2,         1},
        {2,         13},
        {3,         52},
        {2,         64},
        {4,         333},
        {2,         4096},
        {3,         0},
    };
    // clang-format on
    const instructionset best = converter::bestinstructions();
    // The reference: every row field by field, on one thread, in tiny blocks.
    const outcome reference = convert(testing_support::referenceof(c.prog), c.input, {},
                                      converter::bestinstructions(), {1, 7});
    for (const converter::parallelism& p : spreads)
        for (const std::size_t chunk : {c.input.size(), std::size_t{100}}) {
            const outcome o = convert(c.prog, c.input, {.readsize = chunk}, best, p);
            ASSERT_EQ(o.out, reference.out)
                << c.name << ": " << p.threads << " threads, blocks of " << p.blocksize;
            ASSERT_EQ(o.err, reference.err) << c.name << ": blocks of " << p.blocksize;
            ASSERT_EQ(o.status, reference.status) << c.name << ": blocks of " << p.blocksize;
        }
}

TEST(Threaded, MatchesTheReference) {
    const std::string overlines = repeated("2000\n1\n\n1\n 12.5\n", 50);
    const std::string blanklines =
        repeated("2000 1 1 1.5\n" + std::string(3000, '\n') + "  \t \n2000 1 2\n" +
                     std::string(500, ' ') + "\n2.5\n",
                 3);
    const std::string longtoken = "2000 1 1 1." + std::string(1000, '0') + "1\n";
    const std::string toolong = "2000 1 1 1." + std::string(1100, '0') + "1\n";
    const std::string longline = "2000 1 1 1.5 " + std::string(5000, 'z') + "\n";
    // clang-format off
    const threadedcase cases[] = {
        // name                         program          input
        {"fails at a block's start",    tabjd::program,  failingat(4)},
        {"fails just after one",        tabjd::program,  failingat(5)},
        {"fails at a block's end",      tabjd::program,  failingat(3)},
        {"fails deep inside",           tabjd::program,  failingat(29)},
        {"rows over lines",             tabjd::program,  head + overlines},
        {"a line alone fails as a row", tabjd::program,  head + repeated("2000 1\n1 2.5\n", 60)},
        {"runs of blank lines",         tabjd::program,  head + blanklines},
        {"CRLF",                        tabjd::program,  head + repeated("2000 1 1 1.5\r\n\r\n", 40)},
        {"ends inside a row",           tabjd::program,  head + repeated("2000 1 1 1.5\n", 30) + "2000 1"},
        {"ends without a line end",     tabjd::program,  head + repeated("2000 1 1 1.5\n", 30) + "2000 1 1 2"},
        {"ends with a DOS end mark",    tabjd::program,  head + repeated("2000 1 1 1.5\r\n", 30) + "\x1a\r\n\n"},
        {"tokens longer than blocks",   tabjd::program,  head + repeated(longtoken, 4)},
        {"a token too long",            tabjd::program,  head + longtoken + toolong},
        {"lines longer than blocks",    tabjd::program,  head + repeated(longline, 4)},
        {"tabjd2, no extra column",     tabjd2::program, head + repeated("2000 1 1 12.5\n", 61)},
        {"tabjd2, fails misaligned",    tabjd2::program, head + repeated("2000 1 1 12.5\n", 20) + "2000 1 1 x\n" +
                                                         repeated("2000 1 1 12.5\n", 20)},
        {"decimal commas",              tabjd::program,  head + repeated("2000 1 1 1.5\n", 29) + repeated("2000 1 2 2,5\n", 9)},
        {"a value from the next line",  tabjd::program,  head + repeated("2000 1 1 1.5\n", 17) + "2000 1 2\n2000 1 3 4.5\n" +
                                                         repeated("2000,1,1\n1.5,7\n", 9)},
        {"both, in input order",        tabjd::program,  head + repeated("2000 1 1 1.5\n", 5) + "2000 1 2\n2000 1 3 4.5\n" +
                                                         repeated("2000 1 2 2,5\n", 9)},
        {"dates that share bytes",      tabjd::program,  head + repeated("2000 1 1 1.5\n2000 1 10 2.5\n2000 1 1 3.5\n20001 1 1 4.5\n", 20)},
        {"one date, other separators",  tabjd::program,  head + repeated("2000 1 1 1.5\n2000,1,1,2.5\n 2000 1 1 3.5\n2000\t1\t1 4.5\n", 20)},
        {"dates past sixteen bytes",    tabjd::program,  head + repeated("          2000    1    1 1.5\n", 30)},
        {"a date spoilt by its end",    tabjd::program,  head + repeated("2000 1 1 1.5\n", 20) + "2000 1 1x 2.5\n"},
        {"declined after its value",    tabjd2::program, "YEAR MONTH DAY QUALITY VALUE\n----\n" +
                                                         repeated("2000 1 1 1e3 1.5\n2000 1 1 7 2.25\n2000 1 1 +7.123456789 -3\n", 20)},
        {"no dates, numbers after",     tabjd::program,  head + repeated("2000 1 1 1.5 M\n", 21) + repeated("2000 13 1 2\n", 3) +
                                                         repeated("2000 1 1 1.5 -7\n", 5) + "2000 1 1 1.5\r2000 1 1 2\n"},
        {"integral values, numbers after", tabjd::program, head + repeated("2000 1 1 12 24\n", 30) + repeated("2000 1 1 12.5 24\n", 9) +
                                                         repeated("2000 1 2 7 -8\n", 9) + repeated("2000 1 2 7.5\r2000 1 3 8\n", 9) +
                                                         repeated("2000 1 3 8.5\n", 9)},
        {"days past a month, year 0",   tabjd::program,  head + repeated("2001 2 28 1.5\n2001 2 29 1.5\n", 15) + repeated("0000 2 1 1.5\n", 9)},
        {"clock times",                 tabjd::program,  "YEAR MINUTE\n----\n" + repeated("2000 1 1 0 1.5\n2000 1 1 100 1.5\n2000 1 1 1300 1.5\n", 20) +
                                                         "2000 1 1 1370 1.5\n2000 1 2"},
    };
    // clang-format on
    for (const threadedcase& c : cases)
        expectreference(c);
    // Generated reports: every style of row, and now and then a fault.
    generator g{13};
    for (std::size_t k = 0; k < 200 / share; ++k) {
        const bool extra = k % 2 == 1;
        const threadedcase c{"generated", extra ? tabjd2::program : tabjd::program,
                             report(g, k % 4 >= 2, extra, 1 + g.below<std::size_t>(300))};
        expectreference(c);
    }
}

} // namespace
