// Both programs, whole, on arbitrary input held in memory.
//
// Each program converts the input through scripted system calls: with every
// read and write done in full, in small chunks with short writes, EINTR and
// EAGAIN thrown in, and so on two threads in small blocks. Both runs must give the same bytes on
// standard output and standard error and the same status, and the output
// must have the programs' shape: row lines of two 16-column fields, or the
// message line as the very last line, written exactly when the status is 1.
// The layout follows the heading line, so inputs with and without a MINUTE
// column both come through the corpus.
#include "converter/converter.h"
#include "fuzz/oracle.h"
#include "tabjd/layouts.h"
#include "tabjd2/layouts.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

using fuzzing::check;

constexpr std::string_view message = " Error during I/O.\n";

struct script {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t at = 0;
    bool scattered = false;
    fuzzing::dice dice{0};
    std::string out;
    // EAGAIN was returned for these events (POLLIN, POLLOUT): poll for them
    // must come before the retry.
    short awaited = 0;
} io;

ssize_t scriptedread(int, void* buffer, std::size_t n) {
    // Whatever was converted is out before the program waits for input.
    check(io.out.empty() || io.out.back() == '\n');
    check((io.awaited & POLLIN) == 0);
    std::size_t k = std::min(n, io.size - io.at);
    if (io.scattered) {
        switch (io.dice.below(8)) {
        case 0: errno = EINTR; return -1;
        case 1:
            io.awaited |= POLLIN;
            errno = EAGAIN;
            return -1;
        default: k = std::min(k, 1 + io.dice.below(64)); break;
        }
    }
    std::memcpy(buffer, io.data + io.at, k);
    io.at += k;
    return static_cast<ssize_t>(k);
}
ssize_t scriptedwrite(int, const void* buffer, std::size_t n) {
    check(n > 0);
    check((io.awaited & POLLOUT) == 0);
    if (io.scattered) {
        switch (io.dice.below(8)) {
        case 0: errno = EINTR; return -1;
        case 1:
            io.awaited |= POLLOUT;
            errno = EAGAIN;
            return -1;
        default: n = std::min(n, 1 + io.dice.below(40)); break;
        }
    }
    io.out.append(static_cast<const char*>(buffer), n);
    return static_cast<ssize_t>(n);
}
int scriptedpoll(pollfd* p, nfds_t, int timeout) {
    // A look that does not wait: scattered input is now ready, now not.
    if (timeout == 0) {
        check(p->events == POLLIN && (io.awaited & POLLIN) == 0);
        p->revents = POLLIN;
        return io.scattered && io.dice.below(2) == 0 ? 0 : 1;
    }
    check((p->events == POLLIN || p->events == POLLOUT) && (io.awaited & p->events) != 0);
    io.awaited = static_cast<short>(io.awaited & ~p->events);
    p->revents = p->events;
    return 1;
}
const converter::sysio scripted{scriptedread, scriptedwrite, scriptedpoll};

// Standard error: run writes diagnostics straight to a descriptor.
int errfd() {
    static const int fd = ::memfd_create("stderr", 0);
    check(fd >= 0);
    return fd;
}

struct outcome {
    std::string out;
    std::string err;
    int status;
    bool operator==(const outcome&) const = default;
};

outcome convert(const converter::program& prog, const std::uint8_t* data, std::size_t size,
                bool scattered, converter::instructionset which,
                converter::parallelism spread = {1}) {
    io.data = data;
    io.size = size;
    io.at = 0;
    io.scattered = scattered;
    io.dice = fuzzing::dice{static_cast<std::uint32_t>(size) * 2654435761u};
    io.out.clear();
    io.awaited = 0;
    const int err = errfd();
    check(::ftruncate(err, 0) == 0 && ::lseek(err, 0, SEEK_SET) == 0);
    const int status = converter::run(prog, 0, 1, err, scripted, which, spread);
    outcome o{io.out, std::string(), status};
    char buffer[1024];
    ssize_t n;
    for (off_t at = 0; (n = ::pread(err, buffer, sizeof buffer, at)) > 0; at += n)
        o.err.append(buffer, static_cast<std::size_t>(n));
    return o;
}

// A 16-column field: a right-justified fixed-point number with 5 decimals,
// asterisks, or a right-justified NaN or infinity.
bool isfield(std::string_view f) {
    if (f.find_first_not_of('*') == std::string_view::npos) return true;
    const std::size_t start = f.find_first_not_of(' ');
    if (start == std::string_view::npos || f.find(' ', start) != std::string_view::npos)
        return false;
    const std::string_view text = f.substr(start);
    if (text == "NaN" || text == "Infinity" || text == "-Infinity") return true;
    std::string_view digits = text.substr(text[0] == '-' ? 1 : 0);
    const std::size_t point = digits.size() - 6;
    if (digits.size() < 7 || digits[point] != '.') return false;
    for (std::size_t i = 0; i < digits.size(); ++i)
        if (i != point && (digits[i] < '0' || digits[i] > '9')) return false;
    return true;
}

void checkshape(const converter::program& prog, const outcome& o) {
    check(o.status == 0 || o.status == 1);
    std::string_view rest = o.out;
    bool failed = false;
    while (!rest.empty()) {
        if (rest == message) {
            failed = true;
            break;
        }
        check(rest.size() >= 33 && rest[32] == '\n');
        check(isfield(rest.substr(0, 16)) && isfield(rest.substr(16, 16)));
        rest.remove_prefix(33);
    }
    check(failed == (o.status == 1));
    // At most one warning, about a near-miss heading, before anything else;
    // then one diagnostic line exactly when the run failed. Both name the
    // program and a line.
    const std::string prefix = std::string(prog.name) + ": line ";
    std::string_view err = o.err;
    const std::string_view first = err.substr(0, err.find('\n') + 1);
    if (first.ends_with("; rows are read without a minute column\n")) {
        check(first.starts_with(prefix));
        err.remove_prefix(first.size());
    }
    if (o.status == 0) {
        check(err.empty());
    } else {
        check(err.starts_with(prefix));
        check(err.find('\n') == err.size() - 1);
    }
}

// The instruction sets this processor runs.
const std::vector<converter::instructionset>& sets() {
    using converter::instructionset;
    static const std::vector<instructionset> all = [] {
        std::vector<instructionset> v{instructionset::swar};
#if defined(__x86_64__)
        v.push_back(instructionset::sse2);
        if (converter::bestinstructions() == instructionset::avx2)
            v.push_back(instructionset::avx2);
#endif
        return v;
    }();
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using converter::instructionset;
    for (const converter::program* prog : {&tabjd::program, &tabjd2::program}) {
        // Field by field, whole; then every instruction set, whole and
        // scattered, and on two threads in blocks of a few bytes.
        const outcome whole = convert(*prog, data, size, false, instructionset::fieldbyfield);
        checkshape(*prog, whole);
        const converter::parallelism threads{2, 1 + size % 97};
        for (const instructionset which : sets()) {
            check(convert(*prog, data, size, false, which) == whole);
            check(convert(*prog, data, size, true, which) == whole);
            check(convert(*prog, data, size, true, which, threads) == whole);
        }
    }
    return 0;
}
