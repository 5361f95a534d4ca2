#include "converter/writer.h"

#include <cstring>

namespace converter {

bool output::send(std::string_view s) noexcept {
    if (s.size() < sendstraight && s.size() <= capacity - used_) {
        std::memcpy(buffer_ + used_, s.data(), s.size());
        used_ += s.size();
        return true;
    }
    return flush() && write(s.data(), s.size());
}

// write: [p, p + n) out in full; false on a write error, this one or one
// before it.
bool output::write(const char* p, std::size_t n) noexcept {
    wrote_ = wrote_ || n != 0;
    if (errno_ == 0) errno_ = writeall(sys_, fd_, p, n);
    return errno_ == 0;
}

bool output::flush() noexcept {
    const bool written = write(buffer_, used_);
    used_ = 0;
    return written;
}

} // namespace converter
