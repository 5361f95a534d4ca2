// Both programs end to end: bytes in, exact standard output, standard error
// and exit status out.
#include "support.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using testing_support::outputlimit;
using testing_support::result;
using testing_support::stdoutmode;

using testing_support::programcase;
using testing_support::programs;

// In a shared case, ~ in the input stands for the extra column of tabjd2
// (nothing for tabjd), and in the expected diagnostics % for the program's
// name and ^ for the extra field in its layout.
std::string expand(std::string_view text, char mark, std::string_view by) {
    std::string s;
    for (const char c : text)
        c == mark ? s.append(by) : s.append(1, c);
    return s;
}

struct endtoend {
    std::string_view input;
    std::string_view out;
    std::string_view err;
    int status;
};

void runshared(const endtoend* first, const endtoend* last, stdoutmode mode = stdoutmode::file,
               std::span<const programcase> which = programs) {
    for (const programcase& p : which)
        for (const endtoend* c = first; c != last; ++c) {
            const std::string input = expand(c->input, '~', p.extra);
            const result r = testing_support::run(p.path, input, mode);
            EXPECT_EQ(r.out, c->out) << p.name << " on \"" << input << '"';
            const std::string err =
                expand(expand(c->err, '%', p.name), '^', *p.extra ? " extra" : "");
            EXPECT_EQ(r.err, err) << p.name << " on \"" << input << '"';
            EXPECT_EQ(r.status, c->status) << p.name << " on \"" << input << '"';
        }
}

#define RUN_TABLE(cases, ...)                                                                      \
    runshared(std::begin(cases), std::end(cases) __VA_OPT__(, ) __VA_ARGS__)

// The warning about input that ends before the separator.
#define NOSEPARATOR                                                                                \
    " the input ended in the header, before a line starting with ----: nothing was converted"
// The warning about a row that takes its last value from a later line.
#define SPREAD(begun, last)                                                                        \
    "%: line " #last ": the row begun on line " #begun " takes its last value from this line "     \
    "and skips the numbers after it; is a value missing at the end of line " #begun "?\n"
// The warning about a value that a comma and a digit follow.
#define DECIMALCOMMA                                                                               \
    ": a comma and a digit follow the value, as in a decimal comma; the value is read up to the "  \
    "comma and the rest of the line is skipped\n"
// The warnings about a number after the row on line n, with what the header
// hinted, and about a field of the row on line n that is no part of a date;
// minute is " minute" for rows read with one.
#define AFTERWITH(n, minute, hint)                                                                 \
    "%: line " #n ": a number follows the row's last value and is skipped; has the row more "      \
    "columns than year month day" minute "^ value (an index, an hour, a thousands separator or a " \
    "decimal comma)?" hint "\n"
#define AFTER(n, minute) AFTERWITH(n, minute, "")
#define NODATE(n, what, minute)                                                                    \
    "%: line " #n ": " what "; are the columns in the order year month day" minute "^ value?\n"
// The hints: line n, whose text is quoted, looks like a heading; the
// heading names a time word; and the row lines of 2000-01-01 with the value
// 5, and 12.5, and of its noon with 12.5.
#define NEAR(n, column)                                                                            \
    " Line " #n " names a minute, but no heading does (a line that starts with YEAR in capitals "  \
    "and names MINUTE in its first 80 columns): its " column
#define NAMES(n, word, kind, column)                                                               \
    " The heading on line " #n " names " word ", but rows have no " kind " field: its " column
#define CLOCK                                                                                      \
    " and every other minute past 59 end in 00 to 59, as clock times (HHMM) do; they are read as " \
    "minutes of the day\n"
#define FIVE "   2451544.50000         5.00000\n"
#define TWELVE "   2451544.50000        12.50000\n"
#define NOON "   2451545.00000        12.50000\n"

// Heading lines, and a header line that looks like a heading naming a
// minute: one warning, for the first such line, when the rows are read
// without a minute column; standard output and the status stay as they are.
TEST(Programs, HeaderRecognition) {
    const std::string beyond80 = "YEAR" + std::string(76, ' ') + "MINUTE\n----\n2000 1 1 ~12.5\n";
    const std::string within80 =
        "YEAR" + std::string(70, ' ') + "MINUTE\n----\n2000 1 1 720 ~12.5\n";
    const std::string cut = "Year Minute" + std::string(2000, ' ') + "x\n----\n2000 1 1 ~12.5\n";
    // clang-format off
    const endtoend cases[] = {
        // input                                                    out                                    err  status
        {"Station report\nYEAR MONTH DAY MINUTE VALUE\n---- ----- --- ------ -----\n"
         "2000 1 1 0 ~3.5\n2000 1 1 720 ~4.25\n",
                                   "   2451544.50000         3.50000\n   2451545.00000         4.25000\n", "", 0},
        {"",                                                        "",                                    "",  0},
        {"Station report\nYEAR MONTH DAY VALUE\n2000 1 1 ~12.5\n",  "",                "%: line 3:" NOSEPARATOR "\n",  0},
        {"----\n2000 1 1 ~12.5\n",                                  TWELVE,  "",  0},
        {"YEAR MONTH DAY MINUTE VALUE\n----\n2000 1 1 720 ~12.5\n", NOON,    "",  0},
        {"YEAR MONTH DAY VALUE\n----\n2000 1 1 ~12.5\n",            TWELVE,  "",  0},
        {beyond80,                                                  TWELVE,  "",  0},
        {within80,                                                  NOON,    "",  0},
        {"year month day minute value\n----\n2000 1 1 ~12.5\n",     TWELVE,  "",  0},
        {"Year Minute\n----\n2000 1 1 ~12.5\n",                     TWELVE,  "",  0},
        {" YEAR MINUTE\n----\n2000 1 1 ~720 5\n",                   "   2451544.50000       720.00000\n", AFTERWITH(3, "", NEAR(1, "MINUTE column is read as the month")), 0},
        {"Station\n\nYear Month Day Minute Value\n----\n2000 1 1 ~12.5\n", TWELVE, "", 0},
        {"\tYEARLY MINUTES\r\nyear minute\n----\n2000 1 1 ~12.5\n",  TWELVE,  "",  0},
        {"YEAR month day minute\n----\n2000 1 1 ~x\n",               " Error during I/O.\n",
                                   "%: line 3: value: \"x\" is not a number\n", 1},
        {cut,                                                       TWELVE,  "",  0},
        {"YEAR MINUTE\nYEAR VALUE\n----\n2000 1 1 720 ~12.5\n",     NOON,    "%: line 2: this heading names no MINUTE, but the one on line 1 does: rows are read with a minute column\n",  0},
        {"YEAR VALUE\nYEAR MINUTE\n----\n2000 1 1 720 ~12.5\n",     NOON,    "",  0},
        {"Year Minute\nYEAR MINUTE\n----\n2000 1 1 720 ~12.5\n",    NOON,    "",  0},
        {"Year Minute\n",                                           "",      "%: line 1:" NOSEPARATOR "\n",  0},
        {"Minute year\nYear\n----\n2000 1 1 ~12.5\n",               TWELVE,  "",  0},
        {"---\n2000 1 1 ~5\n-----\n2000 1 1 ~12.5\n",               TWELVE,  "",  0},
        {"----YEAR MINUTE\n2000 1 1 ~12.5\n",                       TWELVE,  "",  0},
        {"\xEF\xBB\xBFYEAR MINUTE\n----\n2000 1 1 720 ~12.5\n",     NOON,    "",  0},
        {"\xEF\xBB\xBF----\n2000 1 1 ~12.5\n",                      TWELVE,  "",  0},
        {"YEAR MINUTE\r\n----\r\n2000 1 1 720 ~12.5\r\n",           NOON,    "",  0},
        // A second header block further down is read as rows.
        {"----\n2000 1 1 ~12.5\nYEAR MINUTE\n----\n",                TWELVE " Error during I/O.\n", "%: line 3: year: \"YEAR\" is not an integer\n", 1},
        {"----\nYear Minute\n",                                     " Error during I/O.\n", "%: line 2: year: \"Year\" is not an integer\n", 1},
    };
    // clang-format on
    RUN_TABLE(cases);
}

TEST(Programs, FreeFormRows) {
    // clang-format off
    const endtoend cases[] = {
        // input                                          out                                   err  status
        {"YEAR MINUTE\n----\n2000,1,1,1,~3\n",            "   2451544.50069         3.00000\n", "",  0},
        {"----\n2000 1\n1 ~12.5\n",                       "   2451544.50000        12.50000\n", "",  0},
        {"----\n2000\n\n1\n   \n1\n~12.5\n",              "   2451544.50000        12.50000\n", "",  0},
        {"----\n2000 1 1 ~12.5 e\n2000 1 2 ~1 7 x,,/\n",  TWELVE "   2451545.50000         1.00000\n", AFTER(3, ""),  0},
        {"----\n2000\t1 ,1\t, ~12.5\n",                   "   2451544.50000        12.50000\n", "",  0},
        {"----\r\n2000 1 1 ~12.5\r\n\r\n2000 1 2 ~2\r\n", TWELVE "   2451545.50000         2.00000\n", "",  0},
        {"----\n2000 1 1 ~12.5",                          "   2451544.50000        12.50000\n", "",  0},
        {"----\n2000 1 1 ~12.5\n2000 1",                  "   2451544.50000        12.50000\n", "%: line 3: the input ends inside the row begun on this line, before its day^ value: the row is dropped\n",  0},
        // A DOS end-of-file mark last, or with only line ends after it, ends the input.
        {"----\n2000 1 1 ~12.5\n\x1a",                    TWELVE,                                "",  0},
        {"----\n2000 1 1 ~12.5\n\x1a\n\n",                TWELVE,                                "",  0},
        {"----\r\n2000 1 1 ~12.5\r\n\x1a\r\n",            TWELVE,                                "",  0},
        {"----\n2000 1\n\x1a\n",                          "", "%: line 2: the input ends inside the row begun on this line, before its day^ value: the row is dropped\n",  0},
        {"YEAR MINUTE\n----\n2000 1 1 1440 ~1\n2000 13 1 0 ~2\n",
                                  "   2451545.50000         1.00000\n   2451910.50000         2.00000\n", NODATE(4, "month 13 is not 1 to 12", " minute"), 0},
    };
    // clang-format on
    RUN_TABLE(cases);
}

TEST(Programs, ValuesAndFields) {
    // clang-format off
    const endtoend cases[] = {
        // input                          out                                    err  status
        {"----\n2000 1 1 ~1.0E12\n",      "   2451544.50000****************\n",  "",  0},
        {"----\n2000 1 1 ~1.5D+03\n",     "   2451544.50000      1500.00000\n",  "",  0},
        {"----\n2000 1 1 ~-0.000001\n",   "   2451544.50000        -0.00000\n",  "",  0},
        {"----\n2000 1 1 ~.125\n",        "   2451544.50000         0.12500\n",  "",  0},
        {"----\n2000 1 1 ~0.000015\n",    "   2451544.50000         0.00002\n",  "",  0},
        {"----\n2000 1 1 ~42\n",          "   2451544.50000        42.00000\n",  "",  0},
        {"----\n2000 1 1 ~+7e-400\n",     "   2451544.50000         0.00000\n",  "",  0},
        {"----\n2000 1 1 ~nan\n",         "   2451544.50000             NaN\n",  "",  0},
        {"----\n2000 1 1 ~-Infinity\n",   "   2451544.50000       -Infinity\n",  "",  0},
        {"----\n2000 1 -2000000000 ~1\n", "****************         1.00000\n",
                                          NODATE(2, "day -2000000000 is not 1 to 31", ""),  0},
        {"----\n2000 1 2000000000 ~1\n",  "2002451543.50000         1.00000\n",
                                          NODATE(2, "day 2000000000 is not 1 to 31", ""),  0},
    };
    // clang-format on
    RUN_TABLE(cases);
}

TEST(Programs, ErrorsAndStatuses) {
    const std::string toolong = "----\n2000 1 1 ~" + std::string(5000, '7') + "\n";
    // clang-format off
    const endtoend cases[] = {
        // input                                 out                      err                                                   status
        {"----\n2000 1 1 ~1\n2000 1 2 ~x\n2000 1 3 ~3\n",
                                                 "   2451544.50000         1.00000\n Error during I/O.\n",
                                                                          "%: line 3: value: \"x\" is not a number\n",           1},
        {"----\n2000 1 1 ~1\n\x1a\n\n2000 1 3 ~3\n",
                                                 "   2451544.50000         1.00000\n Error during I/O.\n",
                                                                          "%: line 3: year: \"\\x1a\" is not an integer\n",        1},
        {"----\n2000.5 1 1 ~1\n",                " Error during I/O.\n",  "%: line 2: year: \"2000.5\" is not an integer\n",     1},
        {"----\n2000 1 99999999999 ~1\n",        " Error during I/O.\n",  "%: line 2: day: \"99999999999\" is out of range\n",   1},
        {"----\n2000 1 1 ~1e400\n",              " Error during I/O.\n",  "%: line 2: value: \"1e400\" is out of range\n",       1},
        {"----\n2000 1 1 ~3*1.5\n",              " Error during I/O.\n",  "%: line 2: value: \"3*1.5\" is not a number\n",       1},
        {"----\n2000,,1,1,~1\n",                 " Error during I/O.\n",  "%: line 2: month: no value before \",\"\n",           1},
        {"----\n2000 1 / ~1\n",                  " Error during I/O.\n",  "%: line 2: day: \"/\" is not an integer\n",           1},
        {"----\n2000 1 1 ~\"\x01\xff\"\n",       " Error during I/O.\n",  "%: line 2: value: \"\\x22\\x01\\xff\\x22\" is not a number\n", 1},
        {toolong,                                " Error during I/O.\n",
                                   "%: line 2: value: \"7777777777777777777777777777777777777777...\" is too long\n",            1},
        // A token shown cut ends with "...", whatever the failure; one of 40 bytes is shown whole.
        {"----\n2000 1 1 ~12345678901234567890123456789012345678901x\n",
                                                 " Error during I/O.\n",
                                   "%: line 2: value: \"1234567890123456789012345678901234567890...\" is not a number\n",        1},
        {"----\n12345678901234567890123456789012345678901 1 1 ~1\n",
                                                 " Error during I/O.\n",
                                   "%: line 2: year: \"1234567890123456789012345678901234567890...\" is out of range\n",         1},
        {"----\n2000 1 1 ~123456789012345678901234567890123456789x\n",
                                                 " Error during I/O.\n",
                                   "%: line 2: value: \"123456789012345678901234567890123456789x\" is not a number\n",           1},
    };
    // clang-format on
    RUN_TABLE(cases);
}

// A sole --help or --version is answered on standard output without reading
// standard input (a directory here, which fails any read); any other
// arguments are ignored and the report is converted.
TEST(Programs, CommandLine) {
    using enum stdoutmode;
    const std::string_view row = "   2451544.50000        12.50000";
    const struct {
        std::vector<const char*> args;
        const char* stdinpath; // nullptr: a report of one row
        stdoutmode mode;
        std::string_view first, last; // standard output's first and last lines
        std::string_view err;
        int status;
    } cases[] = {
        // clang-format off
        // args                   stdin    stdout   first                        last                                                     err                                           status
        {{"--help"},              "/",     file,    "Usage: % < REPORT > TABLE", "Full documentation: man %",                             "",                                           0},
        {{"--version"},           "/",     file,    "% (tabjd) " TABJD_VERSION,  "There is NO WARRANTY, to the extent permitted by law.", "",                                           0},
        {{"--help", "--version"}, nullptr, file,    row,                         row,                                                     "",                                           0},
        {{"--version", "x"},      nullptr, file,    row,                         row,                                                     "",                                           0},
        {{"-h"},                  nullptr, file,    row,                         row,                                                     "",                                           0},
        {{"--versions"},          nullptr, file,    row,                         row,                                                     "",                                           0},
        {{"--version"},           "/",     devfull, "",                          "",                                                      "%: write error: No space left on device\n", 1},
        {{"--help"},              "/",     closed,  "",                          "",                                                      "%: write error: Bad file descriptor\n",     1},
        // clang-format on
    };
    const auto lines = [](std::string_view out) {
        std::vector<std::string_view> l;
        while (!out.empty()) {
            const std::size_t n = std::min(out.find('\n'), out.size());
            l.push_back(out.substr(0, n));
            out.remove_prefix(std::min(n + 1, out.size()));
        }
        return l;
    };
    const char* skipped = nullptr;
    for (const programcase& p : programs)
        for (const auto& c : cases) {
            if (const char* why = testing_support::lacks(c.mode)) {
                skipped = why;
                continue;
            }
            const std::string input = expand("----\n2000 1 1 ~12.5\n", '~', p.extra);
            const result r = testing_support::run(p.path, input, c.mode, c.stdinpath, c.args);
            const std::vector<std::string_view> l = lines(r.out);
            const std::string where = std::string(p.name) + " " + c.args[0];
            EXPECT_EQ(l.empty() ? "" : l.front(), expand(c.first, '%', p.name)) << where;
            EXPECT_EQ(l.empty() ? "" : l.back(), expand(c.last, '%', p.name)) << where;
            EXPECT_EQ(r.err, expand(c.err, '%', p.name)) << where;
            EXPECT_EQ(r.status, c.status) << where;
        }
    if (skipped != nullptr) GTEST_SKIP() << "the other rows passed; " << skipped;
}

TEST(Programs, ReadErrorOnADirectory) {
    for (const programcase& p : programs) {
        const result r = testing_support::run(p.path, "", stdoutmode::file, "/");
        EXPECT_EQ(r.out, " Error during I/O.\n") << p.name;
        EXPECT_EQ(r.err, std::string(p.name) + ": line 1: read error: Is a directory\n");
        EXPECT_EQ(r.status, 1) << p.name;
    }
}

// A report of n rows, ~ standing for the extra column.
std::string manyrows(int n) {
    return testing_support::manyrows(n, "----\n", "~");
}

TEST(Programs, WriteFaults) {
    const std::string many = manyrows(20000);
    // clang-format off
    const endtoend closed[] = {
        // input                  out  err                                            status
        {"----\n2000 1 1 ~1\n",   "",  "%: write error: Bad file descriptor\n",      1},
        {many,                    "",  "%: write error: Bad file descriptor\n",      1},
    };
    // clang-format on
    RUN_TABLE(closed, stdoutmode::closed);
    // clang-format off
    const endtoend full[] = {
        // input                  out  err                                            status
        {"----\n2000 1 1 ~1\n",   "",  "%: write error: No space left on device\n",  1},
        {"----\n2000 1 1 ~x\n",   "",  "%: write error: No space left on device\n",  1},
        {many,                    "",  "%: write error: No space left on device\n",  1},
        {"Header only\n",         "",  "%: line 1:" NOSEPARATOR "\n",                0},
    };
    // clang-format on
    if (const char* why = testing_support::lacks(stdoutmode::devfull)) GTEST_SKIP() << why;
    RUN_TABLE(full, stdoutmode::devfull);
}

// A size limit (ulimit -f) stops the program by SIGXFSZ with the file
// holding what it could take of the output, over several blocks of input.
TEST(Programs, FileSizeLimit) {
    if (const char* why = testing_support::lacks(stdoutmode::limited)) GTEST_SKIP() << why;
    for (const programcase& p : programs) {
        const std::string input = expand(manyrows(200000), '~', p.extra);
        const result whole = testing_support::run(p.path, input);
        const result limited = testing_support::run(p.path, input, stdoutmode::limited);
        ASSERT_GT(whole.out.size(), static_cast<std::size_t>(outputlimit)) << p.name;
        EXPECT_EQ(limited.out, whole.out.substr(0, outputlimit)) << p.name;
        EXPECT_EQ(limited.err, "") << p.name;
        EXPECT_EQ(limited.status, 128 + SIGXFSZ) << p.name;
    }
}

// Standard input that a shell has already read lines of, as in
// { read -r a; read -r b; tabjd; } < report: the report is read from there.
TEST(Programs, StartsWhereStandardInputStands) {
    for (const programcase& p : programs) {
        const std::string before = expand("----\n2000 1 1 ~x\n", '~', p.extra);
        const std::string report = expand(manyrows(200000), '~', p.extra);
        const result whole = testing_support::run(p.path, report);
        const result r = testing_support::run(p.path, before + report, stdoutmode::file, nullptr,
                                              {}, before.size());
        EXPECT_EQ(whole.out.size(), 200000u * 33) << p.name;
        EXPECT_EQ(r.out, whole.out) << p.name;
        EXPECT_EQ(r.err, "") << p.name;
        EXPECT_EQ(r.status, 0) << p.name;
    }
}

TEST(Programs, ExtraColumn) {
    // clang-format off
    const endtoend cases[] = {
        // input                                        out                                   err  status
        {"----\n2000 1 1 7 12.5\n",                     "   2451544.50000        12.50000\n", "",  0},
        {"YEAR MINUTE\n----\n2000 1 1 720 0.5 12.5\n",  "   2451545.00000        12.50000\n", "",  0},
        // Rows without the extra column: every second line is consumed.
        {"----\n2000 1 1 12.5\n2000 1 2 13.0\n",        "   2451544.50000      2000.00000\n", SPREAD(2, 3),  0},
        {"----\n2000 1 1 12.5\n2000 1 2 13.0\n2000 1 3 14.0\n2000 1 4 15.0\n",
                                                        "   2451544.50000      2000.00000\n   2451546.50000      2000.00000\n", SPREAD(2, 3),  0},
        {"----\n2000 1 1 q 12.5\n",                     " Error during I/O.\n",
                                                        "tabjd2: line 2: extra: \"q\" is not a number\n",   1},
    };
    // clang-format on
    RUN_TABLE(cases, stdoutmode::file, std::span(programs).last(1));
}

// Signs that a report is being misread: a warning, the first of each kind,
// and the output and status as without it; and real-looking clean reports,
// silent.
TEST(Programs, Warnings) {
    const std::string utf16 = std::string("\xff\xfeY\0E\0A\0R\0\r\0\n\0-\0-\0-\0-\0\r\0\n\0", 24);
    // clang-format off
    const endtoend cases[] = {
        // input                                                  out                                   err                                     status
        {"YEAR,MONTH,DAY,IBM\n----\n1990,2,1,~11.55\n1990,2,5,~\n1990,3,1,~11.20\n1990,4,1,~10.90\n",
                                                                  "   2447923.50000        11.55000\n"
                                                                  "   2447927.50000      1990.00000\n"
                                                                  "   2447982.50000        10.90000\n", SPREAD(4, 5),                          0},
        {"----\n1990\t2\t1\t~11.55\n1990\t2\t5\t~\n1990\t3\t1\t~11.20\n",
                                                                  "   2447923.50000        11.55000\n"
                                                                  "   2447927.50000      1990.00000\n", SPREAD(3, 4),                          0},
        {"----\n2012 1 1 ~12,8\n2012 1 2 ~3,5\n",                  "   2455927.50000        12.00000\n"
                                                                  "   2455928.50000         3.00000\n", "%: line 2" DECIMALCOMMA,              0},
        {"----\n2012\t1\t1\t~-0,5\r\n",                         "   2455927.50000        -0.00000\n", "%: line 2" DECIMALCOMMA,              0},
        {"YEAR MONTH DAY TMAX\r----\r2012 1 1 ~12.8\r",            "",  "%: line 1:" NOSEPARATOR "; its lines end in carriage returns alone (convert them with tr '\\r' '\\n')\n", 0},
        {utf16,                                                   "",  "%: line 2:" NOSEPARATOR "; it is UTF-16 (convert it with iconv -f UTF-16 -t UTF-8)\n", 0},
        {"      Date      MJD      x\n1962   1   1  37665  -0.012700\n", "",                                "%: line 2:" NOSEPARATOR "\n",      0},
        {"----\n2012 1 1 ~1,5\n2000 1 2\n~4 6\n",                    "   2455927.50000         1.00000\n"
                                                                  "   2451545.50000         4.00000\n", "%: line 2" DECIMALCOMMA SPREAD(3, 4), 0},
        // A number after an integral value: an index column first, a
        // thousands separator, a decimal comma after tr ';' ',', a carriage
        // return alone.
        {"----\n0,2000,1,~1,12.5\n", "   1782227.50000         1.00000\n", NODATE(2, "month 2000 is not 1 to 12", "") AFTER(2, ""), 0},
        {"----\n2000,1,1,~1,234.5\n",                               "   2451544.50000         1.00000\n", AFTER(2, ""),                          0},
        {"----\n2012,1,1,~12,8\n2012 1 2 ~12.5,M\n2012 1 3 ~1,\n",  "   2455927.50000        12.00000\n"
                                                                  "   2455928.50000        12.50000\n"
                                                                  "   2455929.50000         1.00000\n", AFTER(2, ""),                          0},
        {"YEAR MONTH DAY VALUE\n----\n2000 1 1 ~5\r2000 1 2 ~13\r", FIVE, "%: line 3: a number follows a carriage return alone after the row and is skipped; its lines end in carriage returns alone (convert them with tr '\\r' '\\n')\n", 0},
        // A date that is no date: day month year, year value rows of
        // integers, a year of two digits; a day past its month's end, from a
        // 360-day calendar or months counted from 0; a year before 0.
        {"----\n01 01 2000 ~12.5\n",                                "   1723424.50000        12.50000\n", NODATE(2, "day 2000 is not 1 to 31", ""), 0},
        {"----\n2000 125\n2001 ~130\n",                             "   2457337.50000       130.00000\n", NODATE(2, "month 125 is not 1 to 12", ""), 0},
        {"----\n99 12 31 ~5\n",                                     "   1757583.50000         5.00000\n", NODATE(2, "year 99 has at most two digits", ""), 0},
        {"----\n2001 2 28 ~5\n2001 2 29 ~5\n2001 2 30 ~5\n",         "   2451968.50000         5.00000\n   2451969.50000         5.00000\n   2451970.50000         5.00000\n", "%: line 3: day 29 is past the end of month 2 of 2001: the date is carried into the next month\n", 0},
        {"----\n2001 4 30 ~5\n2001 4 31 ~5\n2001 5 1 ~5\n",          "   2452029.50000         5.00000\n   2452030.50000         5.00000\n   2452030.50000         5.00000\n", "%: line 3: day 31 is past the end of month 4 of 2001: the date is carried into the next month\n", 0},
        {"----\n0000 3 1 ~5\n0000 2 29 ~5\n-0001 12 31 ~5\n",        "   1721119.50000         5.00000\n   1721119.50000         5.00000\n   1721059.50000         5.00000\n", "%: line 3: year 0 is before 1 March of year 0, where most Julian dates come out one day late\n", 0},
        // Minutes written as clock times, past a day on one date, or all
        // ending in 00 to 59.
        {"YEAR MINUTE\n----\n2000 1 1 1500 ~5\n",                   "   2451545.54167         5.00000\n", "%: line 3: minute 1500" CLOCK, 0},
        {"YEAR MINUTE\n----\n2000 1 1 0 ~5\n2000 1 1 1400 ~5\n2000 1 1 2300 ~5\n", "   2451544.50000         5.00000\n   2451545.47222         5.00000\n   2451546.09722         5.00000\n", "%: line 4: minute 1400" CLOCK, 0},
        {"YEAR MINUTE\n----\n2000 1 1 100 ~5\n2000 1 1 200 ~5\n2000 1 1 300 ~5\n", "   2451544.56944         5.00000\n   2451544.63889         5.00000\n   2451544.70833         5.00000\n", "%: line 3: minute 100" CLOCK, 0},
        // The header: two headings that disagree; rows under a rule of
        // another kind, a closing ---- rule under them; a row cut short.
        {"YEAR 2000 MINUTE DATA\nYEAR MONTH DAY VALUE\n----\n2000 1 1 720 ~5\n", "   2451545.00000         5.00000\n", "%: line 2: this heading names no MINUTE, but the one on line 1 does: rows are read with a minute column\n", 0},
        {"YEAR MONTH DAY VALUE\n==== ===== === =====\n2000 1 1 ~5\n2000 1 2 ~6\n---- ----- --- -----\n\n", "", "%: line 5: no row follows this line starting with ----, but line 4 before it reads as one: nothing was converted\n", 0},
        {"----\n2000 1 1 ~5\n2000 1 2",                             FIVE, "%: line 3: the input ends inside the row begun on this line, before its^ value: the row is dropped\n", 0},
    };
    // clang-format on
    RUN_TABLE(cases);
    // Clean reports, silent.
    // clang-format off
    const endtoend nearmisses[] = {
        // input                                                  out                                   err                                     status
        {"YEAR MONTH DAY V\r\n----\r\n2000 1 1 ~12.5\r\n",          TWELVE, "", 0},
        {"\xef\xbb\xbfYEAR MONTH DAY V\n----\n2000 1 1 ~1\n",        "   2451544.50000         1.00000\n", "", 0},
        {"Header\r\n",                                            "", "%: line 1:" NOSEPARATOR "\n", 0},
        {"----\n2000 1 1 ~12.5 M\n2000 1 2 ~13.0 E 7\n",            TWELVE "   2451545.50000        13.00000\n", "", 0},
        {"----\n2000,1,1,~12.5,\n2000, 1, 2, ~13,\n",               TWELVE "   2451545.50000        13.00000\n", "", 0},
        {"----\n2000 1 1 ~5 degC\n2000 1 1 ~5 NA\n2000 1 1 ~5,E\n2000 1 1 ~5,,,7\n2000 1 1 ~5 -\n", FIVE FIVE FIVE FIVE FIVE, "", 0},
        {"YEAR MONTH DAY VALUE\nInterval: 60 minutes\n----\n2000 1 1 ~5\n", FIVE, "", 0},
        {"Interval: 10 MIN\nYEAR MONTH DAY MINUTE VALUE\n----\n2000 1 1 1440 ~5\n", "   2451545.50000         5.00000\n", "", 0},
        {"----\n100 1 1 ~4\n",                                     "   1757584.50000         4.00000\n", "", 0},
        {"----\n2000 1 1\n~12.5\n2000\n1\n2 ~13 M\n2000 1\n3 ~1 text after\n", TWELVE "   2451545.50000        13.00000\n   2451546.50000         1.00000\n", "", 0},
        // A heading word that is no column of the rows: MIN for a daily
        // minimum, HR for humidity, TIME in a note; and headings naming a
        // minute, in another dress, over rows that have none.
        {"STATION SEA-TAC\nYEAR MONTH DAY MIN\n----\n2000 1 1 ~-3.2\n", "   2451544.50000        -3.20000\n", "", 0},
        {"YEAR MONTH DAY HR\n----\n2000 1 1 ~85\n2000 1 2 ~91\n",    "   2451544.50000        85.00000\n   2451545.50000        91.00000\n", "", 0},
        {"(TIME ZONE: UTC)\nYEAR MONTH DAY VALUE\n----\n2000 1 1 ~5\n", FIVE, "", 0},
        {"\"YEAR\",\"MONTH\",\"DAY\",\"MINUTE\",\"VALUE\"\n----\n2000,1,1,~5\n", FIVE, "", 0},
        {"'year','month','day','minute','value'\n----\n2000,1,1,~5\n", FIVE, "", 0},
        {"# YEAR MONTH DAY MINUTE VALUE\n----\n2000 1 1 ~5\n",       FIVE, "", 0},
        {"Report\n\xef\xbb\xbfYEAR MONTH DAY MINUTE VALUE\n----\n2000 1 1 ~5\n", FIVE, "", 0},
        {"YEAR MONTH DAY MIN VALUE\n----\n2000 1 1 ~5\n",            FIVE, "", 0},
        {"YEAR MONTH DAY VALUE\n               (MINUTE)\n----\n2000 1 1 ~5\n", FIVE, "", 0},
        // A note or a second column after a value with a fraction.
        {"----\n2000 1 1 ~12.5 24h mean\n2000 1 1 ~9.50 24\n2000 1 1 ~12.5 24\n", TWELVE "   2451544.50000         9.50000\n" TWELVE, "", 0},
        {"----\n2000 1 1\n~12.5 24\n",                               TWELVE, "", 0},
        // Dates the calendar carries on by design: a model year of four
        // digits, a day of the year in January, a leap day, minutes past a
        // day or before it.
        {"----\n0001 1 1 ~5\n",                                     "   1721425.50000         5.00000\n", "", 0},
        {"----\n2000 1 60 ~5\n2000 1 366 ~5\n",                      "   2451603.50000         5.00000\n   2451909.50000         5.00000\n", "", 0},
        {"----\n2000 2 29 ~5\n2000 12 31 ~5\n",                      "   2451603.50000         5.00000\n   2451909.50000         5.00000\n", "", 0},
        {"YEAR MINUTE\n----\n2000 1 1 1470 ~5\n2000 1 1 -30 ~5\n",   "   2451545.52083         5.00000\n   2451544.47917         5.00000\n", "", 0},
        // Minutes that are no clock times: twice a day, hourly.
        {"YEAR MINUTE\n----\n2000 1 1 0 ~5\n2000 1 1 720 ~5\n2000 1 2 0 ~5\n2000 1 2 720 ~5\n", FIVE "   2451545.00000         5.00000\n   2451545.50000         5.00000\n   2451546.00000         5.00000\n", "", 0},
        {"YEAR MINUTE\n----\n2000 1 1 0 ~5\n2000 1 1 60 ~5\n2000 1 1 120 ~5\n2000 1 1 180 ~5\n2000 1 1 240 ~5\n", FIVE "   2451544.54167         5.00000\n   2451544.58333         5.00000\n   2451544.62500         5.00000\n   2451544.66667         5.00000\n", "", 0},
        // Numbers in the header: a station's place, a line like a row over
        // rows; headings that agree; blank lines at the end.
        {"Station 24233 lat 47.44 lon -122.31\n1 2 3 4\nYEAR MONTH DAY VALUE\n----\n2000 1 1 ~5\n\n\n", FIVE, "", 0},
        {"YEAR MONTH DAY MINUTE VALUE\nYEAR MONTH DAY MINUTE VALUE\n----\n2000 1 1 720 ~12.5\n", NOON, "", 0},
        {"Period 2000 2010\nElevation 36 m\nYEAR MONTH DAY VALUE\n----\n2000 01 05 ~5\n", "   2451548.50000         5.00000\n", "", 0},
        // Integral values with a flag, a value with an exponent and a count.
        {"----\n2000 1 1 ~12 M\n2000 1 2 ~13 E 7\n",                "   2451544.50000        12.00000\n   2451545.50000        13.00000\n", "", 0},
        {"----\n2000 1 1 ~1.5e3 7\n",                               "   2451544.50000      1500.00000\n", "", 0},
        // Minutes every ten and twenty, one of them ending in 60 to 99.
        {"YEAR MINUTE\n----\n2000 1 1 50 ~5\n2000 1 1 70 ~5\n2000 1 1 110 ~5\n2000 1 1 200 ~5\n2000 1 1 300 ~5\n",
                                  "   2451544.53472         5.00000\n   2451544.54861         5.00000\n   2451544.57639         5.00000\n   2451544.63889         5.00000\n   2451544.70833         5.00000\n", "", 0},
    };
    // clang-format on
    RUN_TABLE(nearmisses);
    // What the header hints, said with the first row that confirms it: a
    // heading's column of the time of day, or a minute named in another
    // dress, read as a field of the rows.
    // clang-format off
    const endtoend hints[] = {
        // input                                                  out                                   err                                           status
        {"YEAR MONTH DAY HOUR MINUTE TEMP\n----\n2010 1 1 13 0 39.4\n", "   2455197.50903         0.00000\n", AFTERWITH(3, " minute", NAMES(1, "HOUR", "hour", "HOUR column is read as the minute")), 0},
        {"YEAR MONTH DAY HOUR TEMP\n----\n2010 1 1 13 39.4\n",    "   2455197.50000        13.00000\n", AFTERWITH(3, "", NAMES(1, "HOUR", "hour", "HOUR column is read as the value")), 0},
        {"YEAR,MONTH,DAY,TEMP,HOURS\n----\n2010,1,1,39,13\n",     "   2455197.50000        39.00000\n", AFTERWITH(3, "", NAMES(1, "HOUR", "hour", "HOUR column is skipped")), 0},
        {"YEAR MONTH DAY MINUTE SECOND VALUE\n----\n2000 1 1 0 5 7.5\n", FIVE, AFTERWITH(3, " minute", NAMES(1, "SECOND", "seconds", "SECOND column is read as the value")), 0},
        {"year month day minute value\n----\n2000 1 1 720 5\n",   "   2451544.50000       720.00000\n", AFTERWITH(3, "", NEAR(1, "MINUTE column is read as the value")), 0},
        {"YEAR MONTH DAY MIN VALUE\n----\n2000 1 1 720 5\n",      "   2451544.50000       720.00000\n", AFTERWITH(3, "", NEAR(1, "MIN column is read as the value")), 0},
        {"YEAR MONTH DAY TIME VALUE\n               (MINUTE)\n----\n2010 1 1 13 5\n", "   2455197.50000        13.00000\n", AFTERWITH(4, "", " Line 2 names a minute, but no heading does (a line that starts with YEAR in capitals and names MINUTE in its first 80 columns)"), 0},
        {"# year month day hour value\n----\n2010 13 1 5\n",        "   2455562.50000         5.00000\n", "%: line 3: month 13 is not 1 to 12; are the columns in the order year month day value?" NAMES(1, "HOUR", "hour", "HOUR column is read as the value") "\n", 0},
    };
    // clang-format on
    RUN_TABLE(hints, stdoutmode::file, std::span(programs).first(1));
}

// The shipped examples convert to their recorded output.
TEST(Programs, Examples) {
    const struct {
        const char* path;
        const char* report;
    } cases[] = {
        {TABJD_PATH, "seattle-daily-max-temperature"},
        {TABJD_PATH, "seattle-hourly-temperature"},
        {TABJD2_PATH, "seattle-daily-precipitation"},
    };
    for (const auto& c : cases) {
        const std::string base = std::string(EXAMPLES_DIR) + "/" + c.report;
        const result r = testing_support::run(c.path, testing_support::slurp(base + ".txt"));
        EXPECT_EQ(r.out, testing_support::slurp(base + ".jd")) << c.report;
        EXPECT_EQ(r.err, "") << c.report;
        EXPECT_EQ(r.status, 0) << c.report;
    }
}

// A row in gives its line out while the input stays open, as under tail -f.
TEST(Programs, StreamsEachRowWhileInputStaysOpen) {
    for (const programcase& p : programs) {
        int in[2], out[2];
        ASSERT_EQ(::pipe(in), 0);
        ASSERT_EQ(::pipe(out), 0);
        const pid_t pid =
            testing_support::start(p.path, {in[0], out[1], 2}, {in[0], in[1], out[0], out[1]});
        ::close(in[0]);
        ::close(out[1]);

        const auto send = [&](const std::string& s) {
            ASSERT_EQ(::write(in[1], s.data(), s.size()), static_cast<ssize_t>(s.size()));
        };
        // Reads one line, waiting at most ten seconds for it.
        const auto receive = [&]() {
            std::string line;
            char c;
            pollfd pf{out[0], POLLIN, 0};
            while (line.empty() || line.back() != '\n') {
                if (::poll(&pf, 1, 10000) != 1 || ::read(out[0], &c, 1) != 1)
                    return line + "<none>";
                line += c;
            }
            return line;
        };
        send("Live feed\nYEAR MINUTE\n----\n");
        send("2000 1 1 720 " + std::string(p.extra) + "1\n");
        EXPECT_EQ(receive(), "   2451545.00000         1.00000\n") << p.name;
        send("2000 1 1 0 " + std::string(p.extra) + "2\n");
        EXPECT_EQ(receive(), "   2451544.50000         2.00000\n") << p.name;
        ::close(in[1]);
        EXPECT_EQ(testing_support::waitfor(pid), 0) << p.name;
        ::close(out[0]);
    }
}

// A reader that goes away ends the program by SIGPIPE, without a message.
TEST(Programs, ClosedPipeEndsQuietly) {
    for (const programcase& p : programs) {
        std::string many = "----\n";
        for (int i = 0; i < 100000; ++i)
            many += "2000 1 1 " + std::string(p.extra) + "1\n";
        const result r = testing_support::run(p.path, many, stdoutmode::brokenpipe);
        EXPECT_EQ(r.err, "") << p.name;
        EXPECT_EQ(r.status, 128 + SIGPIPE) << p.name;
    }
}

} // namespace
