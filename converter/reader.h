// The reader: input from one descriptor through a fixed buffer, refilled by
// read(2), with header lines read from it and row text handed out in spans.
// Memory is fixed: no line, however long, is ever held whole.
#ifndef TABJD_CONVERTER_READER_H
#define TABJD_CONVERTER_READER_H

#include "converter/rowscanner.h"
#include "converter/status.h"
#include "converter/writer.h"

#include <cstddef>
#include <span>

namespace converter {

// Columns of a header line that are looked at.
inline constexpr std::size_t linewidth = 80;

// Reader of one input descriptor. The unread bytes are [first(), last()),
// with a line end as a sentinel at last() and readable bytes past it.
class input {
  public:
    // drain, if given, is flushed whenever the reader is about to wait for
    // more input, so that everything converted so far is out first.
    explicit input(int fd, output* drain = nullptr, const sysio& sys = systemio) noexcept;
    input(const input&) = delete;
    input& operator=(const input&) = delete;

    // readline: the next line's first bytes into line, as many as it holds,
    // a shorter line padded with blanks and a carriage return taken as a
    // blank; the rest of the line is skipped, and linecut tells whether
    // there was any. A UTF-8 byte-order mark before the first line is
    // passed over. endofinput when no line is left.
    status readline(std::span<char> line) noexcept;
    bool linecut() const noexcept { return linecut_; }
    // Whether a line read so far had a carriage return before its last byte.
    bool lonecr() const noexcept { return lonecr_; }

    // The row text at hand: the unread bytes up to the last line end among
    // them, or all of them once the input has ended.
    const char* first() const noexcept { return pos_; }
    const char* rowsend() const noexcept;
    const char* last() const noexcept { return end_; }
    bool ended() const noexcept { return eof_; }
    // The line first() is on, from 1.
    long line() const noexcept { return line_; }
    // advance: the bytes before to, which end on line, are read.
    void advance(const char* to, long line) noexcept {
        pos_ = const_cast<char*>(to);
        line_ = line;
    }
    // refill: more bytes after the unread ones, flushing the drain first.
    // ok when some came; endofinput at the end of the input; readerror or
    // writeerror (of the drain) when that failed.
    status refill() noexcept;

    // A source (see rowscanner.h) that reads on through the buffer, for a
    // row longer than it; give it back with put.
    struct source {
        input& in;
        const char* p;
        const char* end;
        long line;
        bool ended() const noexcept { return in.eof_; }
        status more() noexcept;
    };
    source stream() noexcept { return {*this, pos_, end_, line_}; }
    void put(const source& s) noexcept { advance(s.p, s.line); }

    // After a read error: the line it was met on (that of the last byte
    // read before it), and its errno.
    long errorline() const noexcept { return errorline_; }
    int error() const noexcept { return errno_; }

    static constexpr std::size_t capacity = std::size_t{1} << 17;

  private:
    // Room past the sentinel for a window read at it.
    static constexpr std::size_t padding = window;

    // More bytes after end_, moving what is unread to the front of the
    // buffer. 1 when bytes came, 0 at the end of the input, negative on an
    // error (a read error, or a write error while draining).
    int fill() noexcept;
    // Marks end_ with the sentinel.
    void sentinel() noexcept;
    status failed(int got) noexcept;

    int fd_;
    output* drain_;
    const sysio& sys_;
    char* pos_;
    char* end_;
    long line_ = 1;
    bool atstart_ = true; // the byte-order mark may still come
    bool linecut_ = false;
    bool lonecr_ = false;
    bool eof_ = false;
    int errno_ = 0;
    long errorline_ = 0;
    // One more for the sentinel, and room for reading a window at it.
    char buffer_[capacity + 1 + padding];
};

} // namespace converter

#endif
