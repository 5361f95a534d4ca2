// Reading: the ring's memory, and the input into the block being filled,
// sealed at its last line end; a row longer than a block read as it streams.
// This thread only; the read states are in ring.h.
#include "converter/ring.h"

#include "converter/longrow.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <utility>

namespace converter {

namespace {

// Room before a block's text for the bytes of a token begun in the text read
// before it over the same buffer, so that the token reads on as one.
constexpr std::size_t headroom = tokenmax + window;
// A block converted ahead has room for 5 bytes of row lines per 2 bytes of
// its text, enough for rows of 14 bytes on average (a row line takes 33); a
// block of shorter rows is finished on this thread.
constexpr std::size_t outper2in = 5;
// Until a line end has come, a block is read this much at a time, and a
// row longer than that is read as it streams, so that a long line takes no
// more memory than this.
constexpr std::size_t unlinedread = std::size_t{128} << 10;
// What a pipe on standard input is asked to hold: its writer runs ahead
// while blocks are converted, and a look finds it empty less often.
constexpr int pipebuffer = 1 << 20;
// Input and output buffers together stay within this much.
constexpr std::size_t budget = std::size_t{12} << 20;
// This thread alone converts in a ring of two blocks of at most this much:
// the block converted, and the next one begun. So it does for input that is
// short, or when the larger ring cannot be mapped.
constexpr std::size_t oneblock = std::size_t{256} << 10;

// The ring's layout: how far apart its blocks' texts and outputs are.
constexpr std::size_t align = 64;
constexpr std::size_t spanof(std::size_t bytes) noexcept {
    return (bytes + align - 1) / align * align;
}
constexpr std::size_t outputfor(std::size_t blocksize) noexcept {
    return (blocksize * outper2in / 2 / align + 1) * align + rowlength;
}
constexpr std::size_t ringfor(unsigned count, std::size_t blocksize) noexcept {
    return count * (spanof(headroom + blocksize + window) + spanof(outputfor(blocksize)));
}

} // namespace

ring::ring(input& in, int fd, output& out, const rowlayout& chosen, blockkernel* kernel,
           const sysio& sys, parallelism spread, warnings& said) noexcept
    : out_(out), said_(said), sys_(sys), fd_(fd), fields_(chosen.fields), kernel_(kernel),
      leftover_(in.first()), leftoverend_(in.last()), readerended_(in.ended()),
      threads_(std::clamp(spread.threads, 1u, maxthreads)), count_(blocksperthread * threads_ + 1),
      blocksize_(spread.blocksize) {
    if (blocksize_ == 0) {
        // A block and its row lines, times the blocks in flight, within the budget.
        const std::size_t share = budget * 2 / (count_ * (2 + outper2in));
        blocksize_ = std::clamp(std::bit_floor(share), std::size_t{64} << 10, std::size_t{1} << 20);
    }
    // A short input is converted here alone: one that ended within what the
    // header phase read, or a regular file of a few blocks.
    const std::int64_t left = readerended_ || sys.unread == nullptr ? -1 : sys.unread(fd);
    if (readerended_ || (left >= 0 && static_cast<std::size_t>(left) < 4 * oneblock)) threads_ = 1;
    if (threads_ > 1) memory_ = static_cast<char*>(sys.map(ringfor(count_, blocksize_)));
    if (memory_ == nullptr) {
        threads_ = 1;
        count_ = 2;
        blocksize_ = std::min(blocksize_, oneblock);
        memory_ = static_cast<char*>(sys.map(ringfor(count_, blocksize_)));
        if (memory_ == nullptr) return;
    }
    outcap_ = outputfor(blocksize_);
    const std::size_t textspan = spanof(headroom + blocksize_ + window);
    const std::size_t outspan = spanof(outcap_);
    for (unsigned i = 0; i < count_; ++i) {
        slots_[i].text = memory_ + i * textspan + headroom;
        slots_[i].out = memory_ + count_ * textspan + i * outspan;
    }
    if (sys_.growpipe != nullptr) sys_.growpipe(fd_, pipebuffer);
    slot& fill = slotof(0);
    fill.first = fill.text;
    fillend_ = fill.text;
    at_ = fill.text;
    atline_ = in.line();
    start();
}

ring::~ring() {
    stop();
    if (memory_ != nullptr) unmapmemory(memory_, ringfor(count_, blocksize_));
}

// readahead: input into the block being filled, which is sealed when full or
// when all read so far must go out: the input is not ready, or failed.
bool ring::readahead() noexcept {
    if (read_ == readstate::lastsealed) return false;
    if (read_ == readstate::ended) return seal(fillend_, true);
    slot& fill = slotof(sealed_);
    const auto have = static_cast<std::size_t>(fillend_ - fill.first);
    auto room = static_cast<std::size_t>(fill.text + blocksize_ - fillend_);
    if (!hasline_) room = std::min(room, have < unlinedread ? unlinedread - have : 0);
    if (room == 0 || read_ != readstate::open) {
        // Sealed just past the last line end, found from the back.
        const auto nl =
            std::find(std::reverse_iterator(fillend_), std::reverse_iterator(fill.first), lineend);
        if (nl.base() != fill.first) return seal(nl.base(), false);
        // A row longer than a block, or than an unlined read.
        if (room == 0) return cur_ == sealed_ && streamrow();
    }
    if (read_ != readstate::failed) return readmore(room);
    // The error, once all read before it is out.
    if (cur_ < sealed_) return false;
    ending_.line = atline_;
    return finish(readerror);
}

// readmore: up to n bytes of input onto the block being filled: what the
// header phase left, then reads; read_ says what came. The read may wait
// only once every row read so far is out: when the input was not ready and
// no block is left to put out, what is buffered is written first. false
// when nothing came and nothing changed.
bool ring::readmore(std::size_t n) noexcept {
    std::ptrdiff_t got = 0;
    if (leftover_ != leftoverend_) {
        got = std::min(static_cast<std::ptrdiff_t>(n), leftoverend_ - leftover_);
        std::memcpy(fillend_, leftover_, static_cast<std::size_t>(got));
        leftover_ += got;
    } else if (!readerended_) {
        const bool wait = read_ != readstate::open && cur_ == sealed_;
        if (wait) {
            if (!out_.flush()) return finish(writeerror);
            if (read_ == readstate::blocked) sys_.wait(fd_, false);
        } else if (read_ == readstate::blocked) {
            return false;
        } else if (!sys_.ready(fd_)) {
            return std::exchange(read_, readstate::waiting) == readstate::open;
        }
        got = readsome(sys_, fd_, fillend_, n, wait);
        if (got == wouldwait) return std::exchange(read_, readstate::blocked) == readstate::open;
    }
    if (got > 0) {
        const auto k = static_cast<std::size_t>(got);
        hasline_ = hasline_ || std::memchr(fillend_, lineend, k) != nullptr;
        fillend_ += k;
        read_ = readstate::open;
    } else if (got == 0) {
        read_ = readstate::ended;
    } else {
        ending_.error = errno;
        read_ = readstate::failed;
    }
    return true;
}

// seal: the block being filled ends at end, which is the end of the input
// when final; it is queued, and what follows end starts the next. false
// when there is no slot for the next yet.
bool ring::seal(const char* end, bool final) noexcept {
    slot& fill = slotof(sealed_);
    // The kernel reads a window past the block: defined bytes.
    std::memset(fillend_, 0, window);
    fill.last = const_cast<char*>(end);
    fill.final = final;
    if (!queue(final)) return false;
    if (final) {
        read_ = readstate::lastsealed;
        return true;
    }
    slot& next = slotof(sealed_);
    const auto rest = static_cast<std::size_t>(fillend_ - end);
    std::memcpy(next.text, end, rest);
    next.first = next.text;
    fillend_ = next.text + rest;
    hasline_ = false;
    return true;
}

// streamrow: the row at at_, which runs past its block, read field by field
// through the blocks after it and on into the input as it comes.
bool ring::streamrow() noexcept {
    chain c{*this, at_, cur_ < sealed_ ? slotof(cur_).last : fillend_, 0};
    failure f;
    sightings seen;
    const status got = longrow(c, out_, fields_, f, seen);
    said_.rows(seen, atline_);
    f.line += atline_;
    at_ = c.p;
    atline_ += c.line;
    if (got == badvalue) ending_.fail = f;
    if (got != ok) return finish(got);
    if (cur_ == sealed_) {
        slot& fill = slotof(sealed_);
        fill.first = const_cast<char*>(at_);
        hasline_ = std::memchr(at_, lineend, static_cast<std::size_t>(fillend_ - at_)) != nullptr;
    }
    return true;
}

// readpast: the text after c.end, keeping c's unread bytes (a token begun)
// just before it.
status ring::readpast(chain& c) noexcept {
    if (cur_ < sealed_) {
        // A block ends at a line end: no token runs on from it.
        if (slotof(cur_).final) return endofinput;
        release(cur_);
        ++cur_;
        slot& s = slotof(cur_);
        c.p = s.first;
        c.end = cur_ < sealed_ ? s.last : fillend_;
        if (c.end != c.p || cur_ < sealed_) return ok;
    }
    // All of the block being filled is read: the rest is read over it, a
    // look first, then a read that may wait.
    if (read_ == readstate::ended) return endofinput;
    if (read_ != readstate::failed) {
        const auto kept = static_cast<std::size_t>(c.end - c.p);
        slot& fill = slotof(sealed_);
        std::memmove(fill.text - kept, c.p, kept);
        c.p = fill.text - kept;
        fill.first = fill.text;
        fillend_ = fill.text;
        const std::size_t step = std::min(blocksize_, unlinedread);
        readmore(step);
        if (read_ == readstate::waiting || read_ == readstate::blocked) readmore(step);
        c.end = fillend_;
    }
    switch (read_) {
    case readstate::open: return ok;
    case readstate::ended: return endofinput;
    case readstate::failed:
        ending_.line = atline_ + c.line + std::count(c.p, c.end, lineend);
        return readerror;
    default: return writeerror; // what was out before the wait could not be written
    }
}

} // namespace converter
