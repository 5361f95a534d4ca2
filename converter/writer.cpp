#include "converter/writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace converter {

const sysio systemio{::read, ::write, ::poll};

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

bool output::flush() noexcept {
    if (errno_ != 0) return false;
    std::size_t done = 0;
    while (done < used_) {
        const ssize_t n = sys_.write(fd_, buffer_ + done, used_ - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            await(sys_, fd_, POLLOUT);
            continue;
        }
        errno_ = n < 0 ? errno : EIO;
        used_ = 0;
        return false;
    }
    used_ = 0;
    return true;
}

} // namespace converter
