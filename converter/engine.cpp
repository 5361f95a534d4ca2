#include "converter/engine.h"

#include "converter/longrow.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <sched.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace converter {

parallelism defaultparallelism() noexcept {
    unsigned cpus = 1;
#if TABJD_HAVE_SCHED_GETAFFINITY
    // The processors this process may run on, as taskset and cgroups set them.
    cpu_set_t allowed;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        cpus = static_cast<unsigned>(CPU_COUNT(&allowed));
#else
    if (const long online = ::sysconf(_SC_NPROCESSORS_ONLN); online > 0)
        cpus = static_cast<unsigned>(std::min(online, long{maxthreads}));
#endif
    return {std::clamp(cpus, 1u, maxthreads)};
}

namespace {

// Room before a block's text for the bytes of a token begun in the text read
// before it over the same buffer, so that the token reads on as one.
constexpr std::size_t headroom = tokenmax + window;
// A block converted ahead has room for 5 bytes of row lines per 2 bytes of
// its text, enough for rows of 14 bytes on average (a row line takes 33); a
// block of shorter rows is finished on this thread.
constexpr std::size_t outputper2 = 5;
// Until a line end has come, a block is read this much at a time, and a
// row longer than that is read as it streams, so that a long line takes no
// more memory than this.
constexpr std::size_t probe = std::size_t{128} << 10;
// Blocks in flight per thread: enough that a thread that finishes a block
// finds another queued while this one writes, reads or converts.
constexpr unsigned deepness = 4;
// What a pipe on standard input is asked to hold: its writer runs ahead
// while blocks are converted, and a look finds it empty less often.
constexpr int pipebuffer = 1 << 20;
// Input and output buffers together stay within this much.
constexpr std::size_t budget = std::size_t{12} << 20;

// The ring's layout: how far apart its blocks' texts and outputs are.
constexpr std::size_t align = 64;
constexpr std::size_t spanof(std::size_t bytes) noexcept {
    return (bytes + align - 1) / align * align;
}
constexpr std::size_t outputfor(std::size_t blocksize) noexcept {
    return (blocksize * outputper2 / 2 / align + 1) * align + rowlength;
}
constexpr std::size_t ringfor(unsigned count, std::size_t blocksize) noexcept {
    return count * (spanof(headroom + blocksize + window) + spanof(outputfor(blocksize)));
}

// A ring for one thread that needs no mapping: for input that is short, or
// when there is no memory to map. Its pages take memory only once used; one
// run at a time has it.
constexpr std::size_t ownblock = std::size_t{256} << 10;
constexpr unsigned ownblocks = 2; // one read into while the other is converted
alignas(align) char ownring[ringfor(ownblocks, ownblock)];
std::atomic_flag ownringtaken;

// A block of input and its conversion.
struct slot {
    enum class state : unsigned char { idle, queued, working, done };

    char* text; // the block's buffer: headroom before it, window after it
    char* out;  // row lines converted from it
    // The block: set before it is queued.
    char* first = nullptr;
    char* last = nullptr;
    bool final = false;
    // Its conversion from first, its lines counted from 0 there.
    blockresult result{};
    state now = state::idle; // guarded by the engine's lock
};

// convert: the rows of s's block into s.out, up to limit, from its first
// byte.
void convert(slot& s, blockkernel* kernel, char* limit) noexcept {
    s.result = kernel({s.first, s.last, 0, s.final}, s.out, limit);
}

class engine {
  public:
    engine(input& in, int fd, output& out, const rowlayout& chosen, blockkernel* kernel,
           const sysio& sys, parallelism spread, warnings& said) noexcept;
    ~engine();
    engine(const engine&) = delete;
    engine& operator=(const engine&) = delete;

    bool ready() const noexcept { return memory_ != nullptr; }
    ending run() noexcept;

    // The text of a row being read as it streams: the blocks one after
    // another, then the input as it comes (see rowscanner.h).
    struct chain {
        engine& e;
        const char* p;
        const char* end;
        long line;
        bool ended() const noexcept { return e.cur_ < e.cut_ ? e.slotof(e.cur_).final : e.eof_; }
        status more() noexcept { return e.more(*this); }
    };

  private:
    slot& slotof(std::uint64_t n) noexcept { return slots_[n % count_]; }

    // The steps of the run, each false when it can do nothing now.
    bool stitch(bool here) noexcept;
    bool readahead() noexcept;
    bool convertahead() noexcept;
    void waitforcurrent() noexcept;
    void work() noexcept;
    bool convertnext(std::unique_lock<std::mutex>& l) noexcept;

    void take(slot& s) noexcept;
    void settle(slot& s, const blockresult& r) noexcept;
    void convertrest(slot& s) noexcept;
    void next() noexcept;
    void release(std::uint64_t n) noexcept;
    void streamrow() noexcept;
    status more(chain& c) noexcept;
    bool canadvance() noexcept;
    void cutfill(const char* end, bool final) noexcept;
    long fetch(char* to, std::size_t n, bool drained) noexcept;
    void finish(status why) noexcept {
        finished_ = true;
        e_.why = why;
    }

    output& out_;
    warnings& said_;
    const sysio& sys_;
    const int fd_;
    const layout fields_;
    blockkernel* const kernel_;
    // What the header phase read beyond the header.
    const char* leftover_;
    const char* const leftoverend_;
    const bool readerended_;

    unsigned threads_;
    unsigned count_;
    std::size_t blocksize_;
    std::size_t outcap_;
    // The buffers, mapped for the run: pages never used take no memory.
    char* memory_ = nullptr;
    std::size_t mapped_ = 0;
    slot slots_[deepness * maxthreads + 1];

    // Blocks [cur_, cut_) are cut and not yet put out; the one being
    // filled is slotof(cut_), whose text runs from its first to fillend_.
    // Blocks before claimed_ have been taken up for conversion.
    std::uint64_t cur_ = 0;
    std::uint64_t cut_ = 0;
    std::uint64_t claimed_ = 0;
    char* fillend_ = nullptr;
    bool lined_ = false; // a line end has come into the block being filled
    // Where the true conversion is: the start of a row, on that line, in
    // slotof(cur_).
    const char* at_ = nullptr;
    long atline_ = 0;

    bool eof_ = false;
    bool finalcut_ = false;  // the last block is cut
    bool mustdrain_ = false; // the input may wait: all read so far goes out first
    bool wouldblock_ = false;
    int readerror_ = 0;
    bool finished_ = false;
    ending e_;

    std::mutex lock_;
    std::condition_variable wake_;    // for the workers: a block is queued, or stop
    std::condition_variable settled_; // for this thread: a block is converted
    bool stopping_ = false;
    std::thread workers_[maxthreads - 1];
};

engine::engine(input& in, int fd, output& out, const rowlayout& chosen, blockkernel* kernel,
               const sysio& sys, parallelism spread, warnings& said) noexcept
    : out_(out), said_(said), sys_(sys), fd_(fd), fields_(chosen.fields), kernel_(kernel),
      leftover_(in.first()), leftoverend_(in.last()), readerended_(in.ended()),
      threads_(std::clamp(spread.threads, 1u, maxthreads)), count_(deepness * threads_ + 1) {
    blocksize_ = spread.blocksize;
    if (blocksize_ == 0) {
        // A block and its row lines, times the blocks in flight, within the budget.
        const std::size_t share = budget * 2 / (count_ * (2 + outputper2));
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

// A worker: converts the blocks queued, until the run stops.
void engine::work() noexcept {
    std::unique_lock<std::mutex> l(lock_);
    for (;;) {
        wake_.wait(l, [this] { return stopping_ || claimed_ < cut_; });
        if (stopping_) return;
        convertnext(l);
        settled_.notify_one();
    }
}

// convertnext: the next block queued, if any, converted as if it started
// with a row; l holds the lock, and is let go meanwhile.
bool engine::convertnext(std::unique_lock<std::mutex>& l) noexcept {
    if (claimed_ >= cut_) return false;
    slot& s = slotof(claimed_++);
    s.now = slot::state::working;
    l.unlock();
    convert(s, kernel_, s.out + outcap_);
    l.lock();
    s.now = slot::state::done;
    return true;
}

ending engine::run() noexcept {
    // Blocks converted go out first; then input is read ahead for the other
    // threads; only then does this thread convert, the oldest block first.
    while (!finished_) {
        if (cur_ < cut_ && stitch(false)) continue;
        if (readahead()) continue;
        if (cur_ < cut_ && stitch(true)) continue;
        if (convertahead()) continue;
        waitforcurrent();
    }
    return e_;
}

// The oldest block, once converted (or, when here is set, converted here
// if no thread has taken it up): its rows from the true row start on.
bool engine::stitch(bool here) noexcept {
    slot& s = slotof(cur_);
    std::unique_lock<std::mutex> l(lock_);
    if (s.now == slot::state::working || (s.now == slot::state::queued && !here)) return false;
    if (s.now == slot::state::queued) {
        // Not begun: converted here, from the true row start.
        s.now = slot::state::working;
        claimed_ = std::max(claimed_, cur_ + 1);
        s.first = const_cast<char*>(at_);
        l.unlock();
        convert(s, kernel_, s.out + outcap_);
        l.lock();
        s.now = slot::state::done;
    }
    l.unlock();
    take(s);
    return true;
}

// Another block converted here while the oldest is still being converted.
bool engine::convertahead() noexcept {
    std::unique_lock<std::mutex> l(lock_);
    return convertnext(l);
}

void engine::waitforcurrent() noexcept {
    std::unique_lock<std::mutex> l(lock_);
    settled_.wait(l, [this] { return slotof(cur_).now != slot::state::working; });
}

// take: the rows of converted block s from at_, a true row start in it:
// its conversion where that started at at_, else converted here.
void engine::take(slot& s) noexcept {
    if (s.first != at_) return convertrest(s);
    said_.rows(s.result.seen, atline_);
    if (!out_.send({s.out, static_cast<std::size_t>(s.result.out - s.out)}))
        return finish(writeerror);
    blockresult r = s.result;
    r.line += atline_;
    r.fail.line += atline_;
    settle(s, r);
}

// settle: on from where a true conversion of s ended.
void engine::settle(slot& s, const blockresult& r) noexcept {
    at_ = r.stop;
    atline_ = r.line;
    switch (r.why) {
    case halt::failed: e_.fail = r.fail; return finish(badvalue);
    case halt::ended: return finish(endofinput);
    case halt::full: return convertrest(s);
    case halt::more: break;
    }
    if (at_ == s.last) return next();
    // A row that runs into the next block.
    streamrow();
}

// convertrest: block s from at_ on, converted here.
void engine::convertrest(slot& s) noexcept {
    for (;;) {
        const blockresult r = kernel_({at_, s.last, atline_, s.final}, out_.room(), out_.roomend());
        out_.commit(r.out);
        said_.rows(r.seen);
        if (r.why != halt::full) return settle(s, r);
        at_ = r.stop;
        atline_ = r.line;
        if (!out_.flush()) return finish(writeerror);
    }
}

// next: on to the next block, at its start.
void engine::next() noexcept {
    release(cur_);
    ++cur_;
    at_ = slotof(cur_).first;
}

// release: block n is put out; its slot is free once no thread reads it.
void engine::release(std::uint64_t n) noexcept {
    std::lock_guard<std::mutex> l(lock_);
    slot& s = slotof(n);
    if (s.now == slot::state::queued) {
        // Passed before any thread took it up: nobody will.
        s.now = slot::state::idle;
        claimed_ = n + 1;
    } else if (s.now == slot::state::done) {
        s.now = slot::state::idle;
    }
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
        lined_ = std::memchr(at_, lineend, static_cast<std::size_t>(fillend_ - at_)) != nullptr;
    }
}

// more: the text after c.end, keeping c's unread bytes (a token begun)
// just before it.
status engine::more(chain& c) noexcept {
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
    if (eof_) return endofinput;
    const auto kept = static_cast<std::size_t>(c.end - c.p);
    slot& fill = slotof(cut_);
    std::memmove(fill.text - kept, c.p, kept);
    c.p = fill.text - kept;
    fill.first = fill.text;
    fillend_ = fill.text;
    const std::size_t step = std::min(blocksize_, probe);
    long got = fetch(fillend_, step, false);
    if (got == wouldwait) {
        if (!out_.flush()) return writeerror;
        got = fetch(fillend_, step, true);
    }
    if (got > 0) fillend_ += got;
    c.end = fillend_;
    if (got > 0) return ok;
    if (got == 0) {
        eof_ = true;
        return endofinput;
    }
    e_.line = c.line + std::count(c.p, c.end, lineend);
    e_.error = readerror_;
    return readerror;
}

// canadvance: whether the block being filled can be cut, with a slot free
// for the one after it.
bool engine::canadvance() noexcept {
    if (cut_ + 2 - cur_ > count_) return false;
    std::lock_guard<std::mutex> l(lock_);
    return slotof(cut_ + 1).now != slot::state::working;
}

// cutfill: the block being filled ends at end, which is the end of the
// input when final; it is queued, and what follows end starts the next.
void engine::cutfill(const char* end, bool final) noexcept {
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
        lined_ = false;
    }
    finalcut_ = final;
    {
        std::lock_guard<std::mutex> l(lock_);
        fill.now = slot::state::queued;
        if (!final) slotof(cut_ + 1).now = slot::state::idle;
        ++cut_;
    }
    wake_.notify_one();
}

// readahead: input into the block being filled, which is cut when full or
// when all read so far must go out. Before a read that may wait, every row
// read so far is converted and out.
bool engine::readahead() noexcept {
    if (finalcut_) return false;
    slot& fill = slotof(cut_);
    if (eof_) {
        cutfill(fillend_, true);
        return true;
    }
    const auto have = static_cast<std::size_t>(fillend_ - fill.first);
    auto room = static_cast<std::size_t>(fill.text + blocksize_ - fillend_);
    if (!lined_) room = std::min(room, have < probe ? probe - have : 0);
    if (room == 0 || mustdrain_) {
        if (const auto* nl = lastof(fill.first, lineend, have)) {
            if (!canadvance()) return false;
            cutfill(nl + 1, false);
            return true;
        }
        // A row longer than a block, or than a probe.
        if (room == 0) {
            if (cur_ < cut_) return false;
            streamrow();
            return true;
        }
    }
    long got;
    if (mustdrain_ && cur_ == cut_) {
        // All read so far is converted: out it goes, and the read may wait.
        if (readerror_ != 0) {
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
        if (mustdrain_ && readerror_ != 0) return false;
        got = fetch(fillend_, room, false);
        if (got == wouldwait) {
            if (mustdrain_) return false;
            mustdrain_ = true;
            return true;
        }
    }
    mustdrain_ = false;
    if (got > 0) {
        const auto k = static_cast<std::size_t>(got);
        lined_ = lined_ || std::memchr(fillend_, lineend, k) != nullptr;
        fillend_ += k;
    } else if (got == 0) {
        eof_ = true;
    } else {
        mustdrain_ = true; // the rows read before the error go out first
    }
    return true;
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

} // namespace

bool rowphase(input& in, int fd, output& out, const rowlayout& chosen, blockkernel* kernel,
              const sysio& sys, parallelism spread, warnings& said, ending& e) noexcept {
    engine run(in, fd, out, chosen, kernel, sys, spread, said);
    if (!run.ready()) return false;
    e = run.run();
    return true;
}

} // namespace converter
