// The header's reader: input from one descriptor through a fixed buffer,
// refilled by read(2), read a line at a time; what it has read beyond the
// header goes to the row phase. Memory is fixed: no line, however long, is
// ever held whole.
#ifndef TABJD_CONVERTER_READER_H
#define TABJD_CONVERTER_READER_H

#include "converter/rowscanner.h"
#include "converter/status.h"
#include "converter/sysio.h"
#include "converter/writer.h"

#include <cstddef>
#include <span>
#include <string_view>

namespace converter {

// The UTF-8 byte-order mark, which some tools write before the first line.
inline constexpr std::string_view bom = "\xEF\xBB\xBF";

// Columns of a header line that are looked at.
inline constexpr std::size_t linewidth = 80;

// Reader of one input descriptor.
class input {
  public:
    explicit input(int fd, const sysio& sys = systemio) noexcept;
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

    // The bytes read and not yet taken, and whether the input has ended.
    const char* first() const noexcept { return pos_; }
    const char* last() const noexcept { return end_; }
    bool ended() const noexcept { return eof_; }
    // The line first() is on, from 1.
    linecount line() const noexcept { return line_; }

    // After a read error: the line it was met on (that of the last byte
    // read before it), and its errno.
    linecount errorline() const noexcept { return errorline_; }
    int error() const noexcept { return errno_; }

    static constexpr std::size_t capacity = std::size_t{1} << 17;

  private:
    // More bytes after end_, moving what is unread to the front of the
    // buffer: ok when bytes came, endofinput at the end of the input, or
    // readerror.
    status fill() noexcept;

    int fd_;
    const sysio& sys_;
    char* pos_;
    char* end_;
    linecount line_ = 1;
    bool atstart_ = true; // the byte-order mark may still come
    bool linecut_ = false;
    bool lonecr_ = false;
    bool eof_ = false;
    int errno_ = 0;
    linecount errorline_ = 0;
    char buffer_[capacity];
};

} // namespace converter

#endif
