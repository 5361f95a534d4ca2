// The system calls the I/O makes: the programs' own, and the loops around
// read(2) and poll(2) that every reader and writer shares. Where the system
// lacks one (Windows), what stands in for it is here too, each chosen by
// what the build found (cmake/platform.cmake).
#include "converter/status.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#if TABJD_HAVE_MMAP
#include <sys/mman.h>
#endif
#if TABJD_HAVE_SETMODE || TABJD_HAVE_PEEKNAMEDPIPE
#include <io.h>
#endif
#if TABJD_HAVE_PEEKNAMEDPIPE
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace converter {

namespace {

#if defined(F_SETPIPE_SZ) && defined(F_GETPIPE_SZ)
int growpipe(int fd, int n) {
    const int now = ::fcntl(fd, F_GETPIPE_SZ);
    return now < 0 || now >= n ? now : ::fcntl(fd, F_SETPIPE_SZ, n);
}
#else
constexpr int (*growpipe)(int, int) = nullptr; // a pipe's buffer has the size it has
#endif

std::int64_t unread(int fd) {
    struct stat s;
    if (::fstat(fd, &s) != 0 || !S_ISREG(s.st_mode)) return -1;
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    return at < 0 || at > s.st_size ? -1 : static_cast<std::int64_t>(s.st_size - at);
}

#if TABJD_HAVE_SIZE_T_READ
constexpr auto readfd = ::read;
constexpr auto writefd = ::write;
#else
// Where read counts in unsigned int (Windows), a call moves at most 1 GiB.
// Writes go to the handle itself: when a reader goes away mid-write, the C
// library's write loses the part written and calls the failure EINVAL.
constexpr std::size_t callmax = std::size_t{1} << 30;
ssize_t readfd(int fd, void* to, std::size_t n) {
    return ::read(fd, to, static_cast<unsigned>(std::min(n, callmax)));
}
ssize_t writefd(int fd, const void* p, std::size_t n) {
    const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD k = 0;
    if (::WriteFile(h, p, static_cast<DWORD>(std::min(n, callmax)), &k, nullptr)) return k;
    constexpr struct {
        DWORD error;
        int code;
    } reasons[] = {{ERROR_NO_DATA, EPIPE},           {ERROR_PIPE_NOT_CONNECTED, EPIPE},
                   {ERROR_BROKEN_PIPE, EPIPE},       {ERROR_DISK_FULL, ENOSPC},
                   {ERROR_HANDLE_DISK_FULL, ENOSPC}, {ERROR_INVALID_HANDLE, EBADF},
                   {ERROR_ACCESS_DENIED, EACCES}};
    const DWORD e = ::GetLastError();
    errno = EIO;
    for (const auto& r : reasons)
        if (r.error == e) errno = r.code;
    return -1;
}
#endif

#if TABJD_HAVE_POLL
constexpr auto pollfds = ::poll;
#elif TABJD_HAVE_PEEKNAMEDPIPE
// Without poll(2), a read waits by itself (descriptors block), and a look
// finds input ready only where it knows: a file always, a pipe that holds
// bytes or whose writer has gone. Anything else (a console; under wine, a
// Unix pipe) counts as not ready, so that all converted is out before the
// read.
int pollfds(pollfd* fds, nfds_t, int timeout) {
    if (timeout != 0) return 1;
    const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(fds->fd));
    DWORD bytes = 0;
    switch (::GetFileType(h)) {
    case FILE_TYPE_DISK: return 1;
    case FILE_TYPE_PIPE:
        if (::PeekNamedPipe(h, nullptr, 0, nullptr, &bytes, nullptr)) return bytes > 0;
        return ::GetLastError() == ERROR_BROKEN_PIPE;
    default: return 0;
    }
}
#endif

#if !TABJD_HAVE_MMAP
constexpr std::align_val_t page{4096};
#endif

} // namespace

void* mapmemory(std::size_t n) noexcept {
#if TABJD_HAVE_MMAP
    void* p = ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
#else
    return ::operator new(n, page, std::nothrow);
#endif
}

void unmapmemory(void* p, std::size_t n) noexcept {
#if TABJD_HAVE_MMAP
    ::munmap(p, n);
#else
    ::operator delete(p, n, page);
#endif
}

void rawstdio() noexcept {
#if TABJD_HAVE_SETMODE
    ::_setmode(0, O_BINARY);
    ::_setmode(1, O_BINARY);
#endif
}

const sysio systemio{readfd, writefd, pollfds, growpipe, unread};

void await(const sysio& sys, int fd, short events) noexcept {
    pollfd p{fd, events, 0};
    while (sys.poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
}

std::ptrdiff_t readsome(const sysio& sys, int fd, char* to, std::size_t n, bool wait) noexcept {
    for (;;) {
        const ssize_t got = sys.read(fd, to, n);
        if (got >= 0) return got;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (!wait) return wouldwait;
        await(sys, fd, POLLIN);
    }
}

int writeall(const sysio& sys, int fd, const char* p, std::size_t n) noexcept {
    while (n > 0) {
        const ssize_t k = sys.write(fd, p, n);
        if (k > 0) {
            p += k;
            n -= static_cast<std::size_t>(k);
        } else if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            await(sys, fd, POLLOUT);
        } else if (k == 0 || errno != EINTR) {
            return k < 0 ? errno : EIO;
        }
    }
    return 0;
}

} // namespace converter
