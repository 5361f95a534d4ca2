// The system-call layer on a system with poll(2): the calls themselves,
// poll to look at a descriptor and to wait for it, and anonymous mmap.
#include "converter/sysio.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
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

bool ready(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

void waitfor(int fd, bool output) {
    pollfd p{fd, static_cast<short>(output ? POLLOUT : POLLIN), 0};
    while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
}

} // namespace

void* mapmemory(std::size_t n) noexcept {
    void* p = ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void unmapmemory(void* p, std::size_t n) noexcept {
    ::munmap(p, n);
}

void rawstdio() noexcept {} // there is no other mode

const sysio systemio{::read, ::write, ready, waitfor, growpipe, unreadfile};

} // namespace converter
