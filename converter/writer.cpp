#include "converter/writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

} // namespace

const sysio systemio{::read, ::write, ::poll, growpipe};

void await(const sysio& sys, int fd, short events) noexcept {
    pollfd p{fd, events, 0};
    while (sys.poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
}

bool output::text(std::string_view s) noexcept {
    while (!s.empty()) {
        if (used_ == capacity && !flush()) return false;
        const std::size_t take = std::min(s.size(), capacity - used_);
        std::memcpy(buffer_ + used_, s.data(), take);
        used_ += take;
        s.remove_prefix(take);
    }
    return true;
}

bool output::send(std::string_view s) noexcept {
    if (s.size() < long_ && s.size() <= capacity - used_) {
        std::memcpy(buffer_ + used_, s.data(), s.size());
        used_ += s.size();
        return true;
    }
    return flush() && writeall(s.data(), s.size());
}

bool output::flush() noexcept {
    const bool written = writeall(buffer_, used_);
    used_ = 0;
    return written;
}

bool output::writeall(const char* p, std::size_t n) noexcept {
    if (errno_ != 0) return false;
    std::size_t done = 0;
    while (done < n) {
        const ssize_t k = sys_.write(fd_, p + done, n - done);
        if (k > 0) {
            done += static_cast<std::size_t>(k);
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            await(sys_, fd_, POLLOUT);
            continue;
        }
        errno_ = k < 0 ? errno : EIO;
        return false;
    }
    return true;
}

} // namespace converter
