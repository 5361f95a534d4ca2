#include "converter/io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace converter {

const sysio systemio{::read, ::write, ::poll};

namespace {

constexpr char bom[] = "\xEF\xBB\xBF";
constexpr std::size_t bomlength = 3;

// How much of a rejected token a diagnostic shows.
constexpr std::size_t shown = 40;

// Waits until fd is ready for events; used when a descriptor is non-blocking.
void await(const sysio& sys, int fd, short events) noexcept {
    pollfd p{fd, events, 0};
    while (sys.poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
}

} // namespace

input::input(int fd, output* drain, const sysio& sys) noexcept
    : fd_(fd), drain_(drain), sys_(sys), pos_(buffer_), end_(buffer_) {
    sentinel();
}

void input::sentinel() noexcept {
    *end_ = '\n';
    // The words read at the end of the buffer see defined bytes past it.
    std::memset(end_ + 1, 0, padding);
}

int input::fill() noexcept {
    if (eof_) return 0;
    // Keep what is unread at the front, so the room behind it is largest.
    const auto kept = static_cast<std::size_t>(end_ - pos_);
    if (pos_ != buffer_) std::memmove(buffer_, pos_, kept);
    pos_ = buffer_;
    end_ = buffer_ + kept;
    sentinel();
    // About to wait: everything converted so far goes out first.
    if (drain_ != nullptr && !drain_->flush()) {
        errno_ = drain_->error();
        return -2;
    }
    for (;;) {
        const ssize_t n = sys_.read(fd_, end_, capacity - kept);
        if (n > 0) {
            end_ += n;
            sentinel();
            return 1;
        }
        if (n == 0) {
            eof_ = true;
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            await(sys_, fd_, POLLIN);
            continue;
        }
        errno_ = errno;
        return -1;
    }
}

status input::failed(int got) noexcept {
    return got == -2 ? writeerror : readerror;
}

status input::readline(std::span<char> line) noexcept {
    if (atstart_) {
        // A UTF-8 byte-order mark is not part of the first line. Read on
        // only while what came so far could still be one.
        atstart_ = false;
        for (;;) {
            const auto have = static_cast<std::size_t>(end_ - pos_);
            if (std::memcmp(pos_, bom, std::min(have, bomlength)) != 0) break;
            if (have >= bomlength) {
                pos_ += bomlength;
                break;
            }
            const int got = fill();
            if (got < 0) return failed(got);
            if (got == 0) break;
        }
    }
    if (pos_ == end_) {
        const int got = fill();
        if (got < 0) return failed(got);
        if (got == 0) return endofinput;
    }
    std::size_t n = 0;
    linecut_ = false;
    for (;;) {
        const auto have = static_cast<std::size_t>(end_ - pos_);
        const auto* nl = static_cast<char*>(std::memchr(pos_, '\n', have));
        const auto length = nl != nullptr ? static_cast<std::size_t>(nl - pos_) : have;
        const std::size_t take = std::min(length, line.size() - n);
        std::memcpy(line.data() + n, pos_, take);
        n += take;
        linecut_ = linecut_ || take < length;
        if (nl != nullptr) {
            pos_ += length + 1;
            ++line_;
            break;
        }
        pos_ = end_;
        const int got = fill();
        if (got < 0) return failed(got);
        if (got == 0) break; // a last line without a line end
    }
    std::replace(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(n), '\r', ' ');
    std::fill(line.begin() + static_cast<std::ptrdiff_t>(n), line.end(), ' ');
    return ok;
}

status input::seek() noexcept {
    for (;;) {
        switch (classof(*pos_)) {
        case blank: ++pos_; break;
        case newline:
            if (pos_ == end_) { // the sentinel
                const int got = fill();
                if (got < 0) return failed(got);
                if (got == 0) return endofinput;
            } else {
                ++pos_;
                ++line_;
            }
            break;
        case comma:
            if (nullable_) {
                nullvalue_ = true;
                return reject(verdict::notanumber, pos_, pos_ + 1);
            }
            nullable_ = true;
            ++pos_;
            break;
        default: return ok;
        }
    }
}

status input::scan(const char*& first, const char*& last) noexcept {
    std::size_t length = 0;
    for (;;) {
        while (classof(pos_[length]) == other)
            ++length;
        if (pos_ + length != end_ || eof_) break;
        // The token runs into the end of the buffer: read on, unless it is
        // already too long to take.
        if (length > tokenmax) return reject(verdict::toolong, pos_, pos_ + length);
        const int got = fill();
        if (got < 0) return failed(got);
    }
    first = pos_;
    last = pos_ + length;
    pos_ += length;
    return ok;
}

status input::reject(verdict why, const char* first, const char* last) noexcept {
    problem_ = why;
    const auto length = static_cast<std::size_t>(last - first);
    token_ = std::string_view(first, std::min(length, shown));
    tokencut_ = length > shown;
    return badvalue;
}

template <typename T>
status input::scanwith(T& value, verdict (*parse)(const char*, const char*, T&) noexcept) noexcept {
    const char* first;
    const char* last;
    if (const status s = scan(first, last); s != ok) return s;
    if (const verdict v = parse(first, last, value); v != verdict::ok)
        return reject(v, first, last);
    nullable_ = false;
    return ok;
}

status input::scaninteger(std::int32_t& value) noexcept {
    return scanwith(value, parseinteger);
}

status input::scanreal(double& value) noexcept {
    return scanwith(value, parsereal);
}

status input::skipline() noexcept {
    for (;;) {
        const auto have = static_cast<std::size_t>(end_ - pos_);
        if (const auto* nl = static_cast<char*>(std::memchr(pos_, '\n', have)); nl != nullptr) {
            pos_ += (nl - pos_) + 1;
            ++line_;
            return ok;
        }
        pos_ = end_;
        const int got = fill();
        if (got < 0) return failed(got);
        if (got == 0) return ok;
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
