// The I/O layer: line and free-form reading from a file descriptor through a
// fixed buffer, and buffered writing of output lines. Memory is fixed: no
// line, however long, is ever held whole.
#ifndef TABJD_CONVERTER_IO_H
#define TABJD_CONVERTER_IO_H

#include "converter/fields.h"

#include <cstddef>
#include <cstdint>
#include <poll.h>
#include <string_view>
#include <sys/types.h>

namespace converter {

// Status of a read: 0 success, negative at the end of the input, positive on
// an error.
using status = int;
inline constexpr status ok = 0;
inline constexpr status endofinput = -1;
inline constexpr status readerror = 1;  // read(2) failed; errno is kept
inline constexpr status badvalue = 2;   // a field that does not convert
inline constexpr status writeerror = 3; // write(2) failed while draining output

// The system calls the layer makes, so that tests can inject faults. The
// programs use systemio.
struct sysio {
    ssize_t (*read)(int, void*, std::size_t);
    ssize_t (*write)(int, const void*, std::size_t);
    int (*poll)(pollfd*, nfds_t, int);
};
extern const sysio systemio;

// Columns of a header line that are looked at.
inline constexpr std::size_t linewidth = 80;

class output;

// Reader of one input descriptor. Each operation starts where the last one
// left off; readline and endrow leave it at the start of a line.
class input {
  public:
    // drain, if given, is flushed whenever the reader is about to wait for
    // more input, so that everything converted so far is out first.
    explicit input(int fd, output* drain = nullptr, const sysio& sys = systemio) noexcept;
    input(const input&) = delete;
    input& operator=(const input&) = delete;

    // readline: the next line's first linewidth bytes into line, a shorter
    // line padded with blanks and a carriage return taken as a blank; the
    // rest of the line is skipped. endofinput when no line is left.
    status readline(char (&line)[linewidth]) noexcept;

    // beginrow: a free-form read starts; the next value is the row's first.
    void beginrow() noexcept { nullable_ = true; }

    // readinteger, readreal: the row's next value, found across blanks,
    // tabs, carriage returns, a comma, and lines holding no value.
    // endofinput if the input ends first; badvalue if the token does not
    // convert, or is a null value (a comma with no value before it).
    status readinteger(std::int32_t& value) noexcept;
    status readreal(double& value) noexcept;

    // endrow: the rest of the current line is discarded.
    status endrow() noexcept;

    // After a failure: the line it was met on (from 1), the token that did
    // not convert (at most a few dozen bytes of it), why, and errno of a
    // failed read.
    long line() const noexcept { return line_; }
    std::string_view token() const noexcept { return token_; }
    verdict problem() const noexcept { return problem_; }
    bool nullvalue() const noexcept { return nullvalue_; }
    int error() const noexcept { return errno_; }

    static constexpr std::size_t capacity = std::size_t{1} << 17;

  private:
    // More bytes after end_, moving what is unread to the front of the
    // buffer. 1 when bytes came, 0 at the end of the input, negative on an error
    // (a read error, or a write error while draining).
    int fill() noexcept;
    status failed(int got) noexcept;
    // Moves to the first byte of the next value; sets up a null value error.
    status seek() noexcept;
    // The token at pos_, made contiguous; [first, last).
    status scan(const char*& first, const char*& last) noexcept;
    status reject(verdict why, const char* first, const char* last) noexcept;

    int fd_;
    output* drain_;
    const sysio& sys_;
    char* pos_;
    char* end_;
    long line_ = 1;
    bool atstart_ = true; // the byte-order mark may still come
    bool eof_ = false;
    bool nullable_ = true; // a comma here would leave a value out: the row's
                           // start, or a comma, came since the last value
    bool nullvalue_ = false;
    verdict problem_ = verdict::ok;
    int errno_ = 0;
    std::string_view token_;
    char buffer_[capacity + 1]; // one more for the sentinel
};

// Buffered writer of one output descriptor. Once a write has failed, nothing
// more is written and every later call fails too.
class output {
  public:
    explicit output(int fd, const sysio& sys = systemio) noexcept : fd_(fd), sys_(sys) {}
    output(const output&) = delete;
    output& operator=(const output&) = delete;

    // rowline: one row line, the two fixed-point fields and a line end.
    // false if a flush was needed and failed.
    bool rowline(double first, double second) noexcept {
        if (capacity - used_ < rowlength && !flush()) return false;
        formatfixed(first, buffer_ + used_);
        formatfixed(second, buffer_ + used_ + fieldwidth);
        buffer_[used_ + 2 * fieldwidth] = '\n';
        used_ += rowlength;
        return true;
    }
    bool text(std::string_view s) noexcept;
    // flush: everything buffered is written out; false on a write error.
    bool flush() noexcept;
    int error() const noexcept { return errno_; }

    static constexpr std::size_t rowlength = 2 * fieldwidth + 1;
    static constexpr std::size_t capacity = std::size_t{1} << 17;

  private:
    int fd_;
    const sysio& sys_;
    std::size_t used_ = 0;
    int errno_ = 0;
    char buffer_[capacity];
};

} // namespace converter

#endif
