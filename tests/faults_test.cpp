// Operating-system faults, injected through the sysio seam: whole runs of
// the converter in this process, with read, write and waits following a
// script, and diagnostics caught in a memory file. Every case runs on one
// thread, two and three.
#include "converter/converter.h"
#include "tabjd/layouts.h"
#include "tests/fakesys.h"
#include "tests/support.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace converter {
void PrintTo(const parallelism& p, std::ostream* os) {
    *os << p.threads << " threads, blocks of " << p.blocksize;
}
} // namespace converter

namespace {

using testing_support::fail;
using testing_support::fake;
using testing_support::outcome;
using testing_support::step;
using testing_support::upto;

// The threads of the case being run, and the size of their blocks.
converter::parallelism spread{1};
class Faults : public testing::TestWithParam<converter::parallelism> {
  protected:
    void SetUp() override { spread = GetParam(); }
};

// A whole run of tabjd on input, with read and write following the scripts
// and a look at the input without waiting finding it not ready, as from a
// pipe that is empty for now: everything read is to be out before the next
// read.
outcome convert(const std::string& input, std::vector<step> reads = {},
                std::vector<step> writes = {}, bool nomemory = false) {
    return testing_support::convert(tabjd::program, input,
                                    {.reads = std::move(reads),
                                     .writes = std::move(writes),
                                     .lookready = false,
                                     .nomemory = nomemory},
                                    converter::bestinstructions(), spread);
}

// Rows enough to fill the output buffer several times over.
std::string manyrows(int n) {
    return testing_support::manyrows(n, "Header\n----\n");
}

const std::string report = "Header\n----\n2000 1 1 1.5\n2000 1 2 2.5\n2000 1 3 3.5\n";
const std::string row1 = "   2451544.50000         1.50000\n";
const std::string row2 = "   2451545.50000         2.50000\n";
const std::string row3 = "   2451546.50000         3.50000\n";
const std::string message = " Error during I/O.\n";

// Whatever was converted is written before the program waits for input:
// with a line a read, every read finds the rows of the lines before it out.
TEST_P(Faults, RowsAreOutBeforeEachRead) {
    const outcome o = convert(report, {upto(7), upto(5), upto(13), upto(13), upto(13)});
    EXPECT_EQ(o.out, row1 + row2 + row3);
    EXPECT_EQ(fake.written, (std::vector<std::size_t>{0, 0, 0, 33, 66, 99}));
    EXPECT_EQ(o.log, "RRRWRWRWE") << "one write before each read that follows a row";
}

TEST_P(Faults, InterruptedReadsAreRetried) {
    const outcome o =
        convert(report, {fail(EINTR), upto(5), fail(EINTR), fail(EINTR), upto(20), fail(EINTR)});
    EXPECT_EQ(o.out, row1 + row2 + row3);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.log.find_first_of("IO"), std::string::npos) << o.log;
}

// Writes interrupted, short, or met with EAGAIN (then waited on) are done
// again: the output is as without them, and the calls go as the log says.
TEST_P(Faults, WriteFaultsAreRiddenOut) {
    const std::string input = manyrows(20000);
    const outcome plain = convert(input);
    ASSERT_EQ(plain.out.size(), 20000u * 33);
    const struct {
        std::vector<step> reads, writes;
        std::string logstart;
    } cases[] = {
        // clang-format off
        {{}, {fail(EINTR), fail(EINTR), upto(1000), fail(EINTR)}, "RwwWw"},
        {{upto(3), upto(70000)}, {upto(1), upto(2), upto(3), upto(31), upto(32), upto(33), upto(34),
                                  upto(4095), upto(65537), upto(1), upto(7)}, ""},
        {{}, {fail(EAGAIN), upto(100), fail(EWOULDBLOCK)}, "RwOWwO"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const outcome o = convert(input, c.reads, c.writes);
        EXPECT_EQ(o.out, plain.out) << c.logstart;
        EXPECT_EQ(o.err, "") << c.logstart;
        EXPECT_EQ(o.status, 0) << c.logstart;
        EXPECT_EQ(o.log.substr(0, c.logstart.size()), c.logstart) << o.log.substr(0, 20);
    }
}

// A non-blocking standard input: EAGAIN means wait for it, then read again.
TEST_P(Faults, NonBlockingInputIsWaitedOn) {
    std::vector<step> reads;
    for (int i = 0; i < 30; ++i)
        reads.insert(reads.end(), {fail(EAGAIN), upto(3)});
    const outcome o = convert(report, reads);
    EXPECT_EQ(o.out, row1 + row2 + row3);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 0);
    // Every failed read is followed by a wait for input before the next one.
    for (std::size_t i = o.log.find('r'); i != std::string::npos; i = o.log.find('r', i + 1))
        EXPECT_EQ(o.log[i + 1], 'I') << o.log;
    // 3 bytes a read: 17 reads of data and the end, each after an EAGAIN.
    EXPECT_EQ(std::count(o.log.begin(), o.log.end(), 'I'), 18) << o.log;
}

struct readfailure {
    std::size_t before; // bytes of the report read before the error
    std::string out;
    int line;        // the line the diagnostic names
    int error = EIO; // or ENOMEM: no memory for the rows, and none of them read
};

// The reason for EIO, as this C library words it ("I/O error" in musl).
const std::string eio = std::strerror(EIO);

// A read error partway through: the rows read whole come out, then the
// message; the diagnostic names the line being read.
TEST_P(Faults, ReadErrorMidInput) {
    // clang-format off
    const readfailure cases[] = {
        // before   out                              line      error
        {0,         message,                         1},
        {7,         message,                         2},
        {12,        message,                         3},
        {22,        message,                         3},
        {24,        message,                         3},
        {25,        row1 + message,                  4},
        {37,        row1 + message,                  4},
        {38,        row1 + row2 + message,           5},
        {50,        row1 + row2 + message,           5},
        {51,        row1 + row2 + row3 + message,    6},
        {51,        message,                         3,        ENOMEM},
    };
    // clang-format on
    for (const auto& c : cases) {
        // A read of nothing would be the end of the input: fail at once.
        const std::vector<step> reads =
            c.before > 0 ? std::vector{upto(c.before), fail(EIO)} : std::vector{fail(EIO)};
        const outcome o = convert(report, reads, {}, c.error == ENOMEM);
        EXPECT_EQ(o.out, c.out) << c.before;
        EXPECT_EQ(o.err, "tabjd: line " + std::to_string(c.line) +
                             ": read error: " + std::strerror(c.error) + "\n")
            << c.before;
        EXPECT_EQ(o.status, 1) << c.before;
    }
}

// The last row, converted after the input ended, goes out in the final
// flush; that write fails.
TEST_P(Faults, WriteErrorInTheFinalFlush) {
    const std::string input = "----\n2000 1 1 1.5\n2000 1 2 2.5";
    const outcome o = convert(input, {}, {upto(100), fail(ENOSPC)});
    EXPECT_EQ(o.out, row1);
    EXPECT_EQ(o.err, "tabjd: write error: No space left on device\n");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.log, "RWEw") << "the failed write is the last call";
}

// The message line itself cannot be written.
TEST_P(Faults, WriteErrorOnTheMessage) {
    // The first read ends after row 1, which goes out before the next.
    const outcome o =
        convert("----\n2000 1 1 1.5\n2000 1 x 2.5\n", {upto(18)}, {upto(100), fail(EIO)});
    EXPECT_EQ(o.out, row1);
    EXPECT_EQ(o.err, "tabjd: write error: " + eio + "\n");
    EXPECT_EQ(o.status, 1);
}

// A write that fails while rows are still coming stops the run there:
// nothing more is read or written.
TEST_P(Faults, WriteErrorMidStream) {
    const std::string input = manyrows(50000);
    const outcome o = convert(input, {upto(70000)}, {upto(40000), fail(EPIPE)});
    EXPECT_EQ(o.out.size(), 40000u);
    EXPECT_EQ(o.err, "tabjd: write error: Broken pipe\n");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.log.back(), 'w') << "nothing after the failed write";
    EXPECT_LT(fake.at, input.size()) << "the input was not read to its end";
}

// A write that takes nothing is an error, not a reason to spin.
TEST_P(Faults, WriteThatTakesNothing) {
    const outcome o = convert(report, {}, {upto(0)});
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "tabjd: write error: " + eio + "\n");
    EXPECT_EQ(o.status, 1);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Spread, Faults, testing::Values(
    // threads  blocksize
    converter::parallelism{1},
    converter::parallelism{2},
    converter::parallelism{3,  64}),
    [](const testing::TestParamInfo<converter::parallelism>& p) {
        return std::to_string(p.param.threads) + "threads" +
               (p.param.blocksize != 0 ? std::to_string(p.param.blocksize) : "");
    });
// clang-format on

} // namespace
