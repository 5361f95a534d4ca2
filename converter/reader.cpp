#include "converter/reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace converter {

namespace {

constexpr char bom[] = "\xEF\xBB\xBF";
constexpr std::size_t bomlength = 3;

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
        errorline_ = line_ + std::count(pos_, end_, lineend);
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
    const auto text = line.first(n);
    const auto cr = std::find(text.begin(), text.end(), '\r');
    lonecr_ = lonecr_ || (cr != text.end() && cr + 1 != text.end());
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::fill(line.begin() + static_cast<std::ptrdiff_t>(n), line.end(), ' ');
    return ok;
}

const char* input::rowsend() const noexcept {
    if (eof_) return end_;
    const char* nl = lastof(pos_, lineend, static_cast<std::size_t>(end_ - pos_));
    return nl != nullptr ? nl + 1 : pos_;
}

status input::refill() noexcept {
    const int got = fill();
    return got > 0 ? ok : got == 0 ? endofinput : failed(got);
}

status input::source::more() noexcept {
    in.advance(p, line);
    const status s = in.refill();
    p = in.pos_;
    end = in.end_;
    return s;
}

} // namespace converter
