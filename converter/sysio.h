// The system-call layer: the calls that the I/O and the row phase's memory
// go through, so that tests can play them from memory. What the system has
// is in sysposix.cpp, or, where it has no poll(2), what stands in for it is
// in syswindows.cpp (cmake/platform.cmake chooses); the loops that every
// reader and writer shares are in sysio.cpp.
#ifndef TABJD_CONVERTER_SYSIO_H
#define TABJD_CONVERTER_SYSIO_H

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace converter {

// n bytes of fresh memory, aligned to a page, or null when there is none;
// freed by unmapmemory.
void* mapmemory(std::size_t n) noexcept;
void unmapmemory(void* p, std::size_t n) noexcept;

// Standard input and output pass bytes as they are, where the system would
// change line ends or stop at a Ctrl-Z (binary mode).
void rawstdio() noexcept;

// The bytes left to read in fd when it is a regular file, else -1.
std::int64_t unreadfile(int fd) noexcept;

// The system calls the I/O makes, so that tests can inject faults. The
// programs use systemio.
struct sysio {
    ssize_t (*read)(int, void*, std::size_t);
    ssize_t (*write)(int, const void*, std::size_t);
    // Whether input is ready on fd now, without waiting.
    bool (*ready)(int fd);
    // Waits until fd, non-blocking, is ready for reading, or for writing
    // when output is set.
    void (*wait)(int fd, bool output);
    // Asks for the buffer of the pipe fd to hold n bytes (fcntl F_SETPIPE_SZ),
    // so that a writer can run ahead of the reader; none in tests.
    int (*growpipe)(int fd, int n) = nullptr;
    // unreadfile, or none in tests.
    std::int64_t (*unread)(int fd) = nullptr;
    // Memory for the row phase, as mapmemory gives it.
    void* (*map)(std::size_t n) = mapmemory;
};
extern const sysio systemio;

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
