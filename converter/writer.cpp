#include "converter/writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace converter {

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
    if (s.size() < sendstraight && s.size() <= capacity - used_) {
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
