// Statuses of reading and how a run ended, and the system calls the I/O
// and the row phase's memory go through.
#ifndef TABJD_CONVERTER_STATUS_H
#define TABJD_CONVERTER_STATUS_H

#include "converter/layout.h"
#include "converter/numbers.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <sys/types.h>
#if TABJD_HAVE_POLL
#include <poll.h>
#endif

namespace converter {

#if !TABJD_HAVE_POLL
// What poll(2) takes, where the system has none: systemio's poll then looks
// without waiting (status.cpp).
struct pollfd {
    int fd;
    short events, revents;
};
using nfds_t = unsigned;
inline constexpr short POLLIN = 1, POLLOUT = 4;
#endif

// A count of lines, or a line's number: 64 bits, as a report may pass 2^31
// lines where long has 32.
using linecount = std::int64_t;

// Status of a read: 0 success, negative at the end of the input, positive on
// an error.
using status = int;
inline constexpr status ok = 0;
inline constexpr status endofinput = -1;
inline constexpr status pastspan = -2;  // a span of text ended inside a row
inline constexpr status readerror = 1;  // read(2) failed; errno is kept
inline constexpr status badvalue = 2;   // a field that does not convert
inline constexpr status writeerror = 3; // write(2) failed while draining output

// How much of a rejected token a diagnostic shows.
inline constexpr std::size_t shown = 40;

// A field that did not convert: which, where, and what it held.
struct failure {
    const field* at = nullptr; // the field being read
    linecount line = 0;        // the line the token is on, from 1
    verdict problem = verdict::ok;
    bool nullvalue = false; // a comma with no value before it
    bool cut = false;       // the token is longer than what is kept of it
    std::uint8_t length = 0;
    char token[shown] = {};

    std::string_view text() const noexcept { return {token, length}; }
};

// What ended a run: a status, and with it the failure (badvalue), or the
// line and errno of a read error.
struct ending {
    status why = endofinput;
    failure fail;
    linecount line = 0;
    int error = 0;
};

// n bytes of fresh memory, aligned to a page, or null when there is none;
// freed by unmapmemory.
void* mapmemory(std::size_t n) noexcept;
void unmapmemory(void* p, std::size_t n) noexcept;

// Standard input and output pass bytes as they are, where the system would
// change line ends or stop at a Ctrl-Z (binary mode).
void rawstdio() noexcept;

// The system calls the I/O makes, so that tests can inject faults. The
// programs use systemio.
struct sysio {
    ssize_t (*read)(int, void*, std::size_t);
    ssize_t (*write)(int, const void*, std::size_t);
    int (*poll)(pollfd*, nfds_t, int);
    // Asks for the buffer of the pipe fd to hold n bytes (fcntl F_SETPIPE_SZ),
    // so that a writer can run ahead of the reader; none in tests.
    int (*growpipe)(int fd, int n) = nullptr;
    // The bytes left to read in fd when it is a regular file, else -1; none
    // in tests.
    std::int64_t (*unread)(int fd) = nullptr;
    // Memory for the row phase, as mapmemory gives it.
    void* (*map)(std::size_t n) = mapmemory;
};
extern const sysio systemio;

// Waits until fd is ready for events; for a descriptor that is non-blocking.
void await(const sysio& sys, int fd, short events) noexcept;

// readsome: up to n bytes from fd into to, as one read(2) gives them, over
// EINTR. The count, 0 at the end of the input, or -1 on an error (errno says
// which). A descriptor that is not ready is waited for when wait is set;
// else the answer is wouldwait.
inline constexpr std::ptrdiff_t wouldwait = -2;
std::ptrdiff_t readsome(const sysio& sys, int fd, char* to, std::size_t n, bool wait) noexcept;

// writeall: the n bytes at p to fd, over EINTR, waiting while fd is not
// ready. 0, or the errno of the write that failed (EIO for one that wrote
// nothing).
int writeall(const sysio& sys, int fd, const char* p, std::size_t n) noexcept;

} // namespace converter

#endif
