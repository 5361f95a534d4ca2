#include "converter/reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace converter {

input::input(int fd, const sysio& sys) noexcept
    : fd_(fd), sys_(sys), pos_(buffer_), end_(buffer_) {}

status input::fill() noexcept {
    if (eof_) return endofinput;
    // Keep what is unread at the front, so the room behind it is largest.
    const auto kept = static_cast<std::size_t>(end_ - pos_);
    if (pos_ != buffer_) std::memmove(buffer_, pos_, kept);
    pos_ = buffer_;
    end_ = buffer_ + kept;
    const std::ptrdiff_t got = readsome(sys_, fd_, end_, capacity - kept, true);
    if (got > 0) {
        end_ += got;
        return ok;
    }
    if (got == 0) {
        eof_ = true;
        return endofinput;
    }
    errno_ = errno;
    errorline_ = line_ + std::count(pos_, end_, lineend);
    return readerror;
}

status input::readline(std::span<char> line) noexcept {
    if (pos_ == end_)
        if (const status got = fill(); got != ok) return got;
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
        const status got = fill();
        if (got == readerror) return got;
        if (got == endofinput) break; // a last line without a line end
    }
    // A UTF-8 byte-order mark is not part of the first line.
    if (std::exchange(atstart_, false) && std::string_view(line.data(), n).starts_with(bom))
        std::memmove(line.data(), line.data() + bom.size(), n -= bom.size());
    if (n == 0 && eof_) return endofinput; // it was all there was
    const auto text = line.first(n);
    const auto cr = std::find(text.begin(), text.end(), '\r');
    lonecr_ = lonecr_ || (cr != text.end() && cr + 1 != text.end());
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::fill(line.begin() + static_cast<std::ptrdiff_t>(n), line.end(), ' ');
    return ok;
}

} // namespace converter
