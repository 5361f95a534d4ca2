// The loops around read(2) and write(2) that every reader and writer
// shares, on any system.
#include "converter/sysio.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace converter {

std::int64_t unreadfile(int fd) noexcept {
    struct stat s;
    if (::fstat(fd, &s) != 0 || !S_ISREG(s.st_mode)) return -1;
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    return at < 0 || at > s.st_size ? -1 : static_cast<std::int64_t>(s.st_size - at);
}

std::ptrdiff_t readsome(const sysio& sys, int fd, char* to, std::size_t n, bool wait) noexcept {
    for (;;) {
        const ssize_t got = sys.read(fd, to, n);
        if (got >= 0) return got;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (!wait) return wouldwait;
        sys.wait(fd, false);
    }
}

int writeall(const sysio& sys, int fd, const char* p, std::size_t n) noexcept {
    while (n > 0) {
        const ssize_t k = sys.write(fd, p, n);
        if (k > 0) {
            p += k;
            n -= static_cast<std::size_t>(k);
        } else if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            sys.wait(fd, true);
        } else if (k == 0 || errno != EINTR) {
            return k < 0 ? errno : EIO;
        }
    }
    return 0;
}

} // namespace converter
