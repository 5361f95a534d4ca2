// The system calls the I/O makes: the programs' own, and the loops around
// read(2) and poll(2) that every reader and writer shares.
#include "converter/status.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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

long unread(int fd) {
    struct stat s;
    if (::fstat(fd, &s) != 0 || !S_ISREG(s.st_mode)) return -1;
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    return at < 0 || at > s.st_size ? -1 : static_cast<long>(s.st_size - at);
}

} // namespace

void* mapmemory(std::size_t n) noexcept {
    void* p = ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

const sysio systemio{::read, ::write, ::poll, growpipe, unread};

void await(const sysio& sys, int fd, short events) noexcept {
    pollfd p{fd, events, 0};
    while (sys.poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
}

long readsome(const sysio& sys, int fd, char* to, std::size_t n, bool wait) noexcept {
    for (;;) {
        const ssize_t got = sys.read(fd, to, n);
        if (got >= 0) return static_cast<long>(got);
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
