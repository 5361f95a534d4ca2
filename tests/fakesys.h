// The system calls of the I/O layer played from memory, and whole runs of a
// program in this process on them. Input is served from a string, by a
// script of byte limits and errors for the first calls, then in pieces of
// a set size or at random with EINTR and EAGAIN thrown in; output is kept,
// and every call is logged. The fake checks the rules the I/O layer keeps,
// and aborts, saying which, when one is broken.
#ifndef TABJD_TESTS_FAKESYS_H
#define TABJD_TESTS_FAKESYS_H

#include "converter/converter.h"
#include "tabjd/layouts.h"
#include "tabjd2/layouts.h"
#include "tests/random.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace testing_support {

// One scripted call: hand over (or accept) at most `bytes`, or fail with
// `error`.
struct step {
    std::size_t bytes;
    int error;
};
constexpr step upto(std::size_t n) {
    return {n, 0};
}
constexpr step fail(int error) {
    return {0, error};
}

// How the calls behave: the scripts first, a step a call; then reads of at
// most readsize bytes and writes of at most writesize. Scattered, a call
// fails with EINTR one time in eight, with EAGAIN one in eight, else moves
// between 1 and that many bytes, and a look at the input without waiting
// finds it ready at random. Otherwise a look finds it ready as lookready
// says (not ready: as from a pipe that is empty for now). With nomemory set,
// no memory can be mapped. The input may hold a run of lineends line ends,
// made as they are read, after its first lineendsat bytes: a report larger
// than memory.
struct behaviour {
    std::vector<step> reads{};
    std::vector<step> writes{};
    std::size_t readsize = SIZE_MAX;
    std::size_t writesize = SIZE_MAX;
    bool scattered = false;
    std::uint64_t seed = 0;
    bool lookready = true;
    bool nomemory = false;
    std::size_t lineendsat = 0;
    std::size_t lineends = 0;
};

// What a call that gave EAGAIN was for: a wait for it must come first.
inline constexpr short forinput = 1, foroutput = 2;

// The system a run sees: the input, what was written, and a log of the
// calls: R read data, r a failed read, E end of input, W written data, w a
// failed write, I and O a wait for input or output (a look that does not
// wait is not logged).
struct world {
    std::string_view input;
    behaviour how;
    generator dice{how.seed};
    std::size_t at = 0;
    std::size_t nextread = 0, nextwrite = 0;
    std::string out{};
    std::string log{};
    std::vector<std::size_t> written{}; // bytes out when each read was made
    short awaited = 0;                  // EAGAIN was given for these: forinput, foroutput
};
inline world fake;

inline void rule(bool kept, const char* what) {
    if (kept) return;
    std::fprintf(stderr, "system call fake: broken rule: %s\n", what);
    std::abort();
}

// The size one call moves, or an error in errno (-1): the call's script
// step, or the behaviour after the script.
inline ssize_t callsize(const std::vector<step>& script, std::size_t& next, std::size_t n,
                        std::size_t most, short events) {
    world& w = fake;
    step s{std::min(n, most), 0};
    if (next < script.size()) {
        s = script[next++];
    } else if (w.how.scattered) {
        switch (w.dice.below(8)) {
        case 0: s = fail(EINTR); break;
        case 1: s = fail(EAGAIN); break;
        default: s = upto(1 + w.dice.below(most == SIZE_MAX ? n : most)); break;
        }
    }
    if (s.error == EAGAIN || s.error == EWOULDBLOCK)
        w.awaited = static_cast<short>(w.awaited | events);
    if (s.error != 0) {
        errno = s.error;
        return -1;
    }
    return static_cast<ssize_t>(std::min(n, s.bytes));
}

inline ssize_t fakeread(int fd, void* buffer, std::size_t n) {
    world& w = fake;
    rule(fd == 0 && n > 0, "a read is of standard input, into room");
    rule((w.awaited & forinput) == 0, "after EAGAIN a wait for input comes before the next read");
    rule(w.out.empty() || w.out.back() == '\n', "what was converted is out before a read");
    w.written.push_back(w.out.size());
    const ssize_t size = callsize(w.how.reads, w.nextread, n, w.how.readsize, forinput);
    if (size < 0) {
        w.log += 'r';
        return -1;
    }
    const std::size_t run = w.how.lineends, runat = w.how.lineendsat;
    const std::size_t k = std::min(static_cast<std::size_t>(size), w.input.size() + run - w.at);
    for (std::size_t i = 0; i < k;) {
        char* const to = static_cast<char*>(buffer) + i;
        const std::size_t at = w.at + i;
        std::size_t piece = k - i;
        if (at < runat) {
            std::memcpy(to, w.input.data() + at, piece = std::min(piece, runat - at));
        } else if (at < runat + run) {
            std::memset(to, '\n', piece = std::min(piece, runat + run - at));
        } else {
            std::memcpy(to, w.input.data() + at - run, piece);
        }
        i += piece;
    }
    w.at += k;
    w.log += k > 0 ? 'R' : 'E';
    return static_cast<ssize_t>(k);
}

inline ssize_t fakewrite(int fd, const void* buffer, std::size_t n) {
    world& w = fake;
    rule(fd == 1 && n > 0, "a write is of something to standard output");
    rule((w.awaited & foroutput) == 0,
         "after EAGAIN a wait for output comes before the next write");
    const ssize_t size = callsize(w.how.writes, w.nextwrite, n, w.how.writesize, foroutput);
    if (size < 0) {
        w.log += 'w';
        return -1;
    }
    w.out.append(static_cast<const char*>(buffer), static_cast<std::size_t>(size));
    w.log += 'W';
    return size;
}

inline bool fakeready(int fd) {
    world& w = fake;
    rule(fd == 0 && (w.awaited & forinput) == 0,
         "a look without waiting is for input that has not given EAGAIN");
    return w.how.scattered ? w.dice.below(2) == 1 : w.how.lookready;
}

inline void fakewait(int fd, bool output) {
    world& w = fake;
    const short events = output ? foroutput : forinput;
    rule(fd == (output ? 1 : 0) && (w.awaited & events) != 0,
         "a wait is for input or output that gave EAGAIN");
    w.log += output ? 'O' : 'I';
    w.awaited = static_cast<short>(w.awaited & ~events);
}

inline void* fakemap(std::size_t n) {
    return fake.how.nomemory ? nullptr : converter::mapmemory(n);
}

// The fake, set afresh to serve input as how says; input must outlive its use.
inline const converter::sysio& feed(std::string_view input, behaviour how = {}) {
    static const converter::sysio sys{fakeread, fakewrite, fakeready, fakewait,
                                      nullptr,  nullptr,   fakemap};
    fake = world{input, std::move(how)};
    return sys;
}

// A row layout of the given kinds, i an integer and r a real, at most four
// and two: integers fill the date's members, reals the value's, in order.
inline constexpr std::int32_t converter::row::*integers[] = {
    &converter::row::year, &converter::row::month, &converter::row::day, &converter::row::minutes};
inline constexpr double converter::row::*reals[] = {&converter::row::foo, &converter::row::data};
inline std::vector<converter::field> fieldsof(std::string_view kinds) {
    std::vector<converter::field> fields;
    std::size_t ni = 0, nr = 0;
    for (const char k : kinds)
        fields.push_back(k == 'i' ? converter::integerfield("i", integers[ni++])
                                  : converter::realfield("r", reals[nr++]));
    return fields;
}

// Text as a source of row text (see rowscanner.h) that refills, piece
// bytes at a time, keeping what is unread before each new piece, as the row
// phase keeps a token begun.
struct piecesource {
    piecesource(std::string_view all, std::size_t pieces) : text(all), piece(pieces) {}
    std::string_view text;
    std::size_t piece;
    std::string held;
    const char* p = held.data();
    const char* end = p;
    converter::linecount line = 1;
    std::size_t given = 0;
    bool ended() const noexcept { return given == text.size(); }
    converter::status readpast() {
        if (ended()) return converter::endofinput;
        const std::size_t n = std::min(piece, text.size() - given);
        std::string next(p, end);
        next.append(text.substr(given, n));
        given += n;
        held = std::move(next);
        p = held.data();
        end = p + held.size();
        return converter::ok;
    }
};

// prog with the reference kernel for every instruction set: it reads every
// row field by field, and the others are checked against it.
template <const auto& fields>
inline constexpr converter::rowlayout referencerow{
    fields,
    {converter::kernel::swar::rowsof<fields, false>, converter::kernel::swar::rowsof<fields, false>,
     converter::kernel::swar::rowsof<fields, false>}};
inline constexpr converter::program referencetabjd{"tabjd", referencerow<tabjd::shortrow>,
                                                   referencerow<tabjd::minuterow>};
inline constexpr converter::program referencetabjd2{"tabjd2", referencerow<tabjd2::shortrow>,
                                                    referencerow<tabjd2::minuterow>};
inline const converter::program& referenceof(const converter::program& prog) {
    return &prog == &tabjd2::program ? referencetabjd2 : referencetabjd;
}

struct outcome {
    std::string out;
    std::string err;
    int status;
    std::string log; // the calls, as world::log
};

// A whole run of prog in this process on input, its calls behaving as how
// says; diagnostics go straight to a descriptor, a memory file read back.
inline outcome convert(const converter::program& prog, std::string_view input, behaviour how = {},
                       converter::instructionset which = converter::bestinstructions(),
                       converter::parallelism spread = {1}) {
    static const int err = ::memfd_create("stderr", 0);
    rule(err >= 0 && ::ftruncate(err, 0) == 0 && ::lseek(err, 0, SEEK_SET) == 0,
         "a memory file for diagnostics");
    const int status = converter::run(prog, 0, 1, err, feed(input, std::move(how)), which, spread);
    outcome o{std::move(fake.out), {}, status, std::move(fake.log)};
    char buffer[1024];
    ssize_t n;
    for (off_t at = 0; (n = ::pread(err, buffer, sizeof buffer, at)) > 0; at += n)
        o.err.append(buffer, static_cast<std::size_t>(n));
    return o;
}

// The instruction sets this machine runs.
inline std::vector<converter::instructionset> instructionsets() {
    using converter::instructionset;
    std::vector<instructionset> sets = {instructionset::swar};
#if defined(__x86_64__)
    sets.push_back(instructionset::sse2);
    if (converter::bestinstructions() == instructionset::avx2) sets.push_back(instructionset::avx2);
#endif
    return sets;
}

} // namespace testing_support

#endif
