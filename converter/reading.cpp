// Reading: the input into the block being filled, cut at its last line end
// and queued; a row longer than a block read as it streams; the memory of
// the ring. This thread only.
//
// The read state goes open -> ended (a read gave nothing) -> lastcut (the
// last block is cut). From open it may go to waiting (the input was not
// ready: what was read is converted and out before a read that may wait),
// and back once bytes come; or to failed (a read failed: what was read
// before it is converted and out, then the error ends the run).
// hasline_: a line end has come into the block being filled.
#include "converter/ring.h"

#include "converter/longrow.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <sys/mman.h>

namespace converter::ring {

namespace {

// A ring for one thread that needs no mapping: for input that is short, or
// when there is no memory to map. Its pages take memory only once used; one
// run at a time has it.
constexpr std::size_t ownblock = std::size_t{256} << 10;
constexpr unsigned ownblocks = 2; // the block converted, and the next one begun
alignas(align) char ownring[ringfor(ownblocks, ownblock)];
std::atomic_flag ownringtaken;

} // namespace

engine::engine(input& in, int fd, output& out, const rowlayout& chosen, blockkernel* kernel,
               const sysio& sys, parallelism spread, warnings& said) noexcept
    : out_(out), said_(said), sys_(sys), fd_(fd), fields_(chosen.fields), kernel_(kernel),
      leftover_(in.first()), leftoverend_(in.last()), readerended_(in.ended()),
      threads_(std::clamp(spread.threads, 1u, maxthreads)), count_(blocksperthread * threads_ + 1) {
    blocksize_ = spread.blocksize;
    if (blocksize_ == 0) {
        // A block and its row lines, times the blocks in flight, within the budget.
        const std::size_t share = budget * 2 / (count_ * (2 + outper2in));
        blocksize_ = std::clamp(std::bit_floor(share), std::size_t{64} << 10, std::size_t{1} << 20);
    }
    // A short input is converted here alone: one that ended within what the
    // header phase read, or a regular file of a few blocks.
    const long left = readerended_ || sys.unread == nullptr ? -1 : sys.unread(fd);
    if (readerended_ || (left >= 0 && static_cast<std::size_t>(left) < 4 * ownblock)) threads_ = 1;
    void* map = MAP_FAILED;
    if (threads_ > 1) {
        mapped_ = ringfor(count_, blocksize_);
        map = ::mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    }
    if (map != MAP_FAILED) {
        memory_ = static_cast<char*>(map);
    } else if (!ownringtaken.test_and_set()) {
        // This thread alone, in the ring of its own.
        threads_ = 1;
        count_ = ownblocks;
        blocksize_ = std::min(blocksize_, ownblock);
        mapped_ = 0;
        memory_ = ownring;
    } else {
        return;
    }
    outcap_ = outputfor(blocksize_);
    const std::size_t textspan = spanof(headroom + blocksize_ + window);
    const std::size_t outspan = spanof(outcap_);
    char* const base = memory_;
    for (unsigned i = 0; i < count_; ++i) {
        slots_[i].text = base + i * textspan + headroom;
        slots_[i].out = base + count_ * textspan + i * outspan;
    }
    if (sys_.growpipe != nullptr) sys_.growpipe(fd_, pipebuffer);
    slot& fill = slotof(0);
    fill.first = fill.text;
    fillend_ = fill.text;
    at_ = fill.text;
    atline_ = in.line();
    for (unsigned i = 0; i + 1 < threads_; ++i) {
        try {
            workers_[i] = std::thread([this] { work(); });
        } catch (...) {
            break; // fewer threads, then
        }
    }
}

engine::~engine() {
    {
        std::lock_guard<std::mutex> l(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_)
        if (t.joinable()) t.join();
    if (memory_ == ownring)
        ownringtaken.clear();
    else if (memory_ != nullptr)
        ::munmap(memory_, mapped_);
}

// readahead: input into the block being filled, which is cut when full or
// when all read so far must go out. Before a read that may wait, every row
// read so far is converted and out.
bool engine::readahead() noexcept {
    if (read_ == readstate::lastcut) return false;
    slot& fill = slotof(cut_);
    if (read_ == readstate::ended) {
        cutblock(fillend_, true);
        return true;
    }
    const auto have = static_cast<std::size_t>(fillend_ - fill.first);
    auto room = static_cast<std::size_t>(fill.text + blocksize_ - fillend_);
    if (!hasline_) room = std::min(room, have < unlinedread ? unlinedread - have : 0);
    const bool drain = read_ == readstate::waiting || read_ == readstate::failed;
    if (room == 0 || drain) {
        if (const auto* nl = lastof(fill.first, lineend, have)) {
            if (!canadvance()) return false;
            cutblock(nl + 1, false);
            return true;
        }
        // A row longer than a block, or than an unlined read.
        if (room == 0) {
            if (cur_ < cut_) return false;
            streamrow();
            return true;
        }
    }
    long got;
    if (drain && cur_ == cut_) {
        // All read so far is converted: out it goes, and the read may wait.
        if (read_ == readstate::failed) {
            e_.line = atline_;
            e_.error = readerror_;
            finish(readerror);
            return true;
        }
        if (!out_.flush()) {
            finish(writeerror);
            return true;
        }
        got = fetch(fillend_, room, true);
    } else {
        // While what was read is converted, input that comes meanwhile is
        // read on.
        if (read_ == readstate::failed) return false;
        got = fetch(fillend_, room, false);
        if (got == wouldwait) {
            if (read_ == readstate::waiting) return false;
            read_ = readstate::waiting;
            return true;
        }
    }
    read_ = readstate::open;
    if (got > 0) {
        const auto k = static_cast<std::size_t>(got);
        hasline_ = hasline_ || std::memchr(fillend_, lineend, k) != nullptr;
        fillend_ += k;
    } else {
        read_ = got == 0 ? readstate::ended : readstate::failed;
    }
    return true;
}

// canadvance: whether the block being filled can be cut, with a slot free
// for the one after it.
bool engine::canadvance() noexcept {
    if (cut_ + 2 - cur_ > count_) return false;
    std::lock_guard<std::mutex> l(lock_);
    return slotof(cut_ + 1).now != slot::state::working;
}

// cutblock: the block being filled ends at end, which is the end of the
// input when final; it is queued, and what follows end starts the next.
void engine::cutblock(const char* end, bool final) noexcept {
    slot& fill = slotof(cut_);
    const auto rest = static_cast<std::size_t>(fillend_ - end);
    // The kernel reads a window past the block: defined bytes.
    std::memset(fillend_, 0, window);
    fill.last = const_cast<char*>(end);
    fill.final = final;
    if (!final) {
        slot& n = slotof(cut_ + 1);
        std::memcpy(n.text, end, rest);
        n.first = n.text;
        fillend_ = n.text + rest;
        hasline_ = false;
    }
    if (final) read_ = readstate::lastcut;
    {
        std::lock_guard<std::mutex> l(lock_);
        fill.now = slot::state::queued;
        if (!final) slotof(cut_ + 1).now = slot::state::idle;
        ++cut_;
    }
    wake_.notify_one();
}

// fetch: up to n bytes of input into to: what the header phase left, then
// reads. The count, 0 at the end of the input, -1 on a read error (in
// readerror_), or wouldwait when the input is not ready and drained is not
// set: a read may wait only once everything read so far is out.
long engine::fetch(char* to, std::size_t n, bool drained) noexcept {
    if (leftover_ != leftoverend_) {
        const std::size_t k = std::min(n, static_cast<std::size_t>(leftoverend_ - leftover_));
        std::memcpy(to, leftover_, k);
        leftover_ += k;
        return static_cast<long>(k);
    }
    if (readerended_) return 0;
    if (readerror_ != 0) return -1;
    if (!drained) {
        pollfd p{fd_, POLLIN, 0};
        if (wouldblock_ || sys_.poll(&p, 1, 0) <= 0) return wouldwait;
    } else if (wouldblock_) {
        await(sys_, fd_, POLLIN);
    }
    wouldblock_ = false;
    const long got = readsome(sys_, fd_, to, n, drained);
    if (got == wouldwait) wouldblock_ = true;
    if (got == -1) readerror_ = errno;
    return got;
}

// streamrow: the row at at_, which runs past its block, read field by field
// through the blocks after it and on into the input as it comes.
void engine::streamrow() noexcept {
    chain c{*this, at_, cur_ < cut_ ? slotof(cur_).last : fillend_, atline_};
    failure f;
    sightings seen;
    const status got = longrow(c, out_, fields_, f, seen);
    said_.rows(seen);
    at_ = c.p;
    atline_ = c.line;
    if (got == badvalue) e_.fail = f;
    if (got != ok) return finish(got);
    if (cur_ == cut_) {
        slot& fill = slotof(cut_);
        fill.first = const_cast<char*>(at_);
        hasline_ = std::memchr(at_, lineend, static_cast<std::size_t>(fillend_ - at_)) != nullptr;
    }
}

// readpast: the text after c.end, keeping c's unread bytes (a token begun)
// just before it.
status engine::readpast(chain& c) noexcept {
    if (cur_ < cut_) {
        // A block ends at a line end: no token runs on from it.
        if (slotof(cur_).final) return endofinput;
        release(cur_);
        ++cur_;
        slot& s = slotof(cur_);
        c.p = s.first;
        c.end = cur_ < cut_ ? s.last : fillend_;
        if (c.end != c.p || cur_ < cut_) return ok;
    }
    // All of the block being filled is read: the rest is read over it.
    if (read_ >= readstate::ended) return endofinput;
    const auto kept = static_cast<std::size_t>(c.end - c.p);
    slot& fill = slotof(cut_);
    std::memmove(fill.text - kept, c.p, kept);
    c.p = fill.text - kept;
    fill.first = fill.text;
    fillend_ = fill.text;
    const std::size_t step = std::min(blocksize_, unlinedread);
    long got = fetch(fillend_, step, false);
    if (got == wouldwait) {
        if (!out_.flush()) return writeerror;
        got = fetch(fillend_, step, true);
    }
    if (got > 0) fillend_ += got;
    c.end = fillend_;
    if (got > 0) return ok;
    if (got == 0) {
        read_ = readstate::ended;
        return endofinput;
    }
    e_.line = c.line + std::count(c.p, c.end, lineend);
    e_.error = readerror_;
    return readerror;
}

} // namespace converter::ring
