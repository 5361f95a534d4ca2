// The I/O layer: line and free-form reading from a file descriptor through a
// fixed buffer, and buffered writing of output lines. Memory is fixed: no
// line, however long, is ever held whole.
#ifndef TABJD_CONVERTER_IO_H
#define TABJD_CONVERTER_IO_H

#include "converter/digits.h"
#include "converter/fields.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <poll.h>
#include <span>
#include <string_view>
#include <sys/types.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// What a byte is to the free-form reader.
enum byteclass : unsigned char { other, blank, newline, comma };

inline constexpr auto byteclasses = [] {
    struct table {
        byteclass of[256];
    } t{};
    t.of[static_cast<unsigned char>(' ')] = blank;
    t.of[static_cast<unsigned char>('\t')] = blank;
    t.of[static_cast<unsigned char>('\r')] = blank;
    t.of[static_cast<unsigned char>('\n')] = newline;
    t.of[static_cast<unsigned char>(',')] = comma;
    return t;
}();

constexpr byteclass classof(char c) noexcept {
    return byteclasses.of[static_cast<unsigned char>(c)];
}

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

    // readline: the next line's first bytes into line, as many as it holds,
    // a shorter line padded with blanks and a carriage return taken as a
    // blank; the rest of the line is skipped, and linecut tells whether
    // there was any. endofinput when no line is left.
    status readline(std::span<char> line) noexcept;
    bool linecut() const noexcept { return linecut_; }

    // beginrow: a free-form read starts; the next value is the row's first.
    void beginrow() noexcept { nullable_ = true; }

    // readinteger, readreal: the row's next value, found across blanks,
    // tabs, carriage returns, a comma, and lines holding no value.
    // endofinput if the input ends first; badvalue if the token does not
    // convert, or is a null value (a comma with no value before it).
    //
    // The common token, short and whole in the buffer, is read here with
    // shortinteger or shortreal; anything else (a refill, a long or unusual
    // token, a sign of trouble) goes to the general path, which reads it
    // with parseinteger or parsereal.
    status readinteger(std::int32_t& value) noexcept {
        return read(value, shortinteger, &input::scaninteger);
    }
    status readreal(double& value) noexcept { return read(value, shortreal, &input::scanreal); }

    // A whole row at once, for the usual row: on one line that ends within
    // the next window bytes, holding at least n values, and leaving none out
    // (no comma before its first value, no two between two values). Its
    // first n tokens are found together, from masks of the separators in
    // the window, rather than one after another.
    static constexpr std::size_t window = 64;
    template <std::size_t n> struct rowtokens {
        const char* base;                 // the row's first byte
        std::uint8_t start[n], length[n]; // the tokens, as offsets from base
        std::uint8_t next;                // the offset just past the line end
    };
    // tokens: true with the row's tokens when the row is a usual one; false,
    // with nothing moved, when it is to be read value by value. After a true
    // one, nextrow moves past the row's line.
    template <std::size_t n> [[gnu::always_inline]] bool tokens(rowtokens<n>& row) const noexcept;
    template <std::size_t n> void nextrow(const rowtokens<n>& row) noexcept {
        pos_ += row.next;
        ++line_;
    }

    // endrow: the rest of the current line is discarded.
    status endrow() noexcept {
        if (*pos_ == '\n' && pos_ != end_) {
            ++pos_;
            ++line_;
            return ok;
        }
        return skipline();
    }

    // After a failure: the line it was met on (from 1), the token that did
    // not convert (at most a few dozen bytes of it, and whether it was cut
    // to them), why, and errno of a failed read.
    long line() const noexcept { return line_; }
    std::string_view token() const noexcept { return token_; }
    bool tokencut() const noexcept { return tokencut_; }
    verdict problem() const noexcept { return problem_; }
    bool nullvalue() const noexcept { return nullvalue_; }
    int error() const noexcept { return errno_; }

    static constexpr std::size_t capacity = std::size_t{1} << 17;

  private:
    // Room past the sentinel for a window read at it.
    static constexpr std::size_t padding = window;

    template <typename T>
    status read(T& value, bool (*quick)(const char*, std::size_t, T&) noexcept,
                status (input::*general)(T&) noexcept) noexcept {
        if (!skip())
            if (const status s = seek(); s != ok) return s;
        char* const end = tokenend();
        if (end == end_ || !quick(pos_, static_cast<std::size_t>(end - pos_), value)) [[unlikely]]
            return (this->*general)(value);
        pos_ = end;
        nullable_ = false;
        return ok;
    }
    // The end of the token at pos_ as far as the buffer goes: the sentinel
    // when it may go on.
    char* tokenend() const noexcept {
        char* p = pos_;
        while (classof(*p) == other)
            ++p;
        return p;
    }
    // Moves over blanks, line ends and a comma to the next value while that
    // takes no refill and leaves no value out; false where seek must go on.
    // Runs of spaces go up to seven at a time.
    bool skip() noexcept {
        for (;;) {
            pos_ += digits::leading(digits::load(pos_), ' ');
            switch (classof(*pos_)) {
            case other: return true;
            case blank: ++pos_; break;
            case newline:
                if (pos_ == end_) return false;
                ++pos_;
                ++line_;
                break;
            case comma:
                if (nullable_) return false;
                nullable_ = true;
                ++pos_;
                break;
            }
        }
    }
    // The general paths, for the token at pos_.
    status scaninteger(std::int32_t& value) noexcept;
    status scanreal(double& value) noexcept;
    template <typename T>
    status scanwith(T& value, verdict (*parse)(const char*, const char*, T&) noexcept) noexcept;
    status skipline() noexcept;

    // More bytes after end_, moving what is unread to the front of the
    // buffer. 1 when bytes came, 0 at the end of the input, negative on an error
    // (a read error, or a write error while draining).
    int fill() noexcept;
    // Marks end_ with the sentinel.
    void sentinel() noexcept;
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
    bool linecut_ = false;
    bool eof_ = false;
    bool nullable_ = true; // a comma here would leave a value out: the row's
                           // start, or a comma, came since the last value
    bool nullvalue_ = false;
    verdict problem_ = verdict::ok;
    int errno_ = 0;
    std::string_view token_;
    bool tokencut_ = false;
    // One more for the sentinel, and room for reading a word at it.
    char buffer_[capacity + 1 + padding];
};

template <std::size_t n> inline bool input::tokens(rowtokens<n>& row) const noexcept {
    static_assert(n >= 1 && window == 64);
#if defined(__SSE2__)
    if (end_ - pos_ < static_cast<std::ptrdiff_t>(window)) return false;
    // Bit i of each mask is byte pos_[i]: separators, line ends, commas.
    std::uint64_t separators = 0, lineends = 0, commas = 0;
    const auto classify = [&](int block) noexcept {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pos_ + 16 * block));
        const __m128i l = _mm_cmpeq_epi8(x, _mm_set1_epi8('\n'));
        const __m128i c = _mm_cmpeq_epi8(x, _mm_set1_epi8(','));
        const __m128i b = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(' ')),
                                                    _mm_cmpeq_epi8(x, _mm_set1_epi8('\t'))),
                                       _mm_cmpeq_epi8(x, _mm_set1_epi8('\r')));
        const auto bits = [block](__m128i m) noexcept {
            return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(m))} << (16 * block);
        };
        separators |= bits(_mm_or_si128(b, _mm_or_si128(l, c)));
        lineends |= bits(l);
        commas |= bits(c);
    };
    classify(0);
    classify(1);
    classify(2);
    if (lineends == 0) classify(3); // a long row

    // A token starts where a separator (or the row) ends, and ends where a
    // separator starts.
    const std::uint64_t text = ~separators;
    std::uint64_t starts = text & ~(text << 1);
    std::uint64_t ends = separators & (text << 1);
    unsigned last = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (ends == 0) return false;                   // fewer tokens end in the window
        const unsigned first = digits::lowest(starts); // a token that ends starts
        last = digits::lowest(ends);
        starts &= starts - 1;
        ends &= ends - 1;
        row.start[i] = static_cast<std::uint8_t>(first);
        row.length[i] = static_cast<std::uint8_t>(last - first);
    }
    // One line: no line end before the last token, one after it.
    const std::uint64_t before = (std::uint64_t{1} << last) - 1;
    const std::uint64_t after = lineends & ~before;
    if ((lineends & before) != 0 || after == 0) return false;
    // Null values: a comma before the first token, or two between tokens.
    if (const std::uint64_t inrow = commas & before; inrow != 0) {
        if ((inrow & ((std::uint64_t{1} << row.start[0]) - 1)) != 0) return false;
        for (std::size_t i = 1; i < n; ++i) {
            const std::uint64_t gap =
                inrow & ((std::uint64_t{1} << row.start[i]) - 1) &
                ~((std::uint64_t{1} << (row.start[i - 1] + row.length[i - 1])) - 1);
            if ((gap & (gap - 1)) != 0) return false;
        }
    }
    row.base = pos_;
    row.next = static_cast<std::uint8_t>(digits::lowest(after) + 1);
    return true;
#else
    (void)row;
    return false; // value by value
#endif
}

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
        formatfixed(first, buffer_ + used_, columns_[0]);
        formatfixed(second, buffer_ + used_ + fieldwidth, columns_[1]);
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
    fixedcache columns_[2];
    char buffer_[capacity];
};

} // namespace converter

#endif
