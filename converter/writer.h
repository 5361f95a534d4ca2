// The writer: buffered output to one descriptor, drained by large writes.
#ifndef TABJD_CONVERTER_WRITER_H
#define TABJD_CONVERTER_WRITER_H

#include "converter/sysio.h"

#include <cstddef>
#include <string_view>

namespace converter {

// Buffered writer of one output descriptor. Once a write has failed, nothing
// more is written and every later call fails too.
class output {
  public:
    explicit output(int fd, const sysio& sys = systemio) noexcept : fd_(fd), sys_(sys) {}
    output(const output&) = delete;
    output& operator=(const output&) = delete;

    // The free part of the buffer, for a kernel to fill; commit takes what
    // it made, up to end.
    char* room() noexcept { return buffer_ + used_; }
    char* roomend() noexcept { return buffer_ + capacity; }
    void commit(char* end) noexcept { used_ = static_cast<std::size_t>(end - buffer_); }

    // send: s after what is buffered: a short s copied in when it fits, a
    // long one (a block's row lines) written straight from where it is once
    // the buffer is out, rather than copied. false on a write error.
    bool send(std::string_view s) noexcept;
    // flush: everything buffered is written out; false on a write error.
    bool flush() noexcept;
    int error() const noexcept { return errno_; }
    // Whether nothing was ever put out.
    bool empty() const noexcept { return !wrote_ && used_ == 0; }

    static constexpr std::size_t capacity = std::size_t{1} << 18;
    // What send writes without copying: this much or more.
    static constexpr std::size_t sendstraight = std::size_t{1} << 16;

  private:
    bool write(const char* p, std::size_t n) noexcept;

    int fd_;
    const sysio& sys_;
    bool wrote_ = false;
    std::size_t used_ = 0;
    int errno_ = 0;
    char buffer_[capacity];
};

} // namespace converter

#endif
