// The ring of blocks that the row phase runs on (see engine.h), shared by
// its three parts: reading.cpp fills blocks from the input and cuts them at
// line ends; workers.cpp converts them, on any thread; ordering.cpp joins
// the converted blocks in input order and writes them out.
//
// A slot holds one block and goes idle -> queued (cut, waiting for a
// thread) -> working (being converted) -> done (converted) -> idle (its rows
// are out, or it was passed before any thread took it up). Only the lock
// guards `now`; the other fields of a slot belong to the thread converting
// it while it is working, and to this thread otherwise.
//
// Blocks are numbered in input order: [cur_, cut_) are cut and not yet out,
// slotof(cut_) is being filled, and those before claimed_ have been taken
// up for conversion, or passed: cur_ <= claimed_ <= cut_. At most count_ - 1
// are cut at once, so that the one being filled has a slot of its own. at_
// is where the true conversion stands: a row start in slotof(cur_).
//
// Threads: every system call, the output, the warnings, and the members
// but the slots belong to this thread (the one that runs run()). A worker
// reads cut_, claimed_ (which it advances), stopping_ and the slots' states
// under the lock; unlocked, only the slot it works on, kernel_ and outcap_.
#ifndef TABJD_CONVERTER_RING_H
#define TABJD_CONVERTER_RING_H

#include "converter/engine.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace converter::ring {

// Room before a block's text for the bytes of a token begun in the text read
// before it over the same buffer, so that the token reads on as one.
inline constexpr std::size_t headroom = tokenmax + window;
// A block converted ahead has room for 5 bytes of row lines per 2 bytes of
// its text, enough for rows of 14 bytes on average (a row line takes 33); a
// block of shorter rows is finished on this thread.
inline constexpr std::size_t outper2in = 5;
// Until a line end has come, a block is read this much at a time, and a
// row longer than that is read as it streams, so that a long line takes no
// more memory than this.
inline constexpr std::size_t unlinedread = std::size_t{128} << 10;
// Blocks in flight per thread: enough that a thread that finishes a block
// finds another queued while this one writes, reads or converts.
inline constexpr unsigned blocksperthread = 4;
// What a pipe on standard input is asked to hold: its writer runs ahead
// while blocks are converted, and a look finds it empty less often.
inline constexpr int pipebuffer = 1 << 20;
// Input and output buffers together stay within this much.
inline constexpr std::size_t budget = std::size_t{12} << 20;

// The ring's layout: how far apart its blocks' texts and outputs are.
inline constexpr std::size_t align = 64;
constexpr std::size_t spanof(std::size_t bytes) noexcept {
    return (bytes + align - 1) / align * align;
}
constexpr std::size_t outputfor(std::size_t blocksize) noexcept {
    return (blocksize * outper2in / 2 / align + 1) * align + rowlength;
}
constexpr std::size_t ringfor(unsigned count, std::size_t blocksize) noexcept {
    return count * (spanof(headroom + blocksize + window) + spanof(outputfor(blocksize)));
}

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

// convertblock: the rows of s's block into s.out, up to limit, from its
// first byte.
void convertblock(slot& s, blockkernel* kernel, char* limit) noexcept;

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
        engine& ring;
        const char* p;
        const char* end;
        long line;
        bool ended() const noexcept {
            return ring.cur_ < ring.cut_ ? ring.slotof(ring.cur_).final
                                         : ring.read_ >= readstate::ended;
        }
        status readpast() noexcept { return ring.readpast(*this); }
    };

  private:
    slot& slotof(std::uint64_t n) noexcept { return slots_[n % count_]; }

    // The steps of the run, each false when it can do nothing now
    // (ordering.cpp, reading.cpp, workers.cpp).
    bool joinoldest(bool here) noexcept;
    bool readahead() noexcept;
    bool convertahead() noexcept;
    void waitforcurrent() noexcept;
    void work() noexcept;
    bool convertnext(std::unique_lock<std::mutex>& l) noexcept;

    void putout(slot& s) noexcept;
    void goonfrom(slot& s, const blockresult& r) noexcept;
    void converthere(slot& s) noexcept;
    void nextblock() noexcept;
    void release(std::uint64_t n) noexcept;
    void streamrow() noexcept;
    status readpast(chain& c) noexcept;
    bool canadvance() noexcept;
    void cutblock(const char* end, bool final) noexcept;
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
    slot slots_[blocksperthread * maxthreads + 1];

    // Blocks [cur_, cut_) are cut and not yet put out; the one being
    // filled is slotof(cut_), whose text runs from its first to fillend_.
    // Blocks before claimed_ have been taken up for conversion.
    std::uint64_t cur_ = 0;
    std::uint64_t cut_ = 0;
    std::uint64_t claimed_ = 0;
    char* fillend_ = nullptr;
    bool hasline_ = false; // a line end has come into the block being filled
    // Where the true conversion is: the start of a row, on that line, in
    // slotof(cur_).
    const char* at_ = nullptr;
    long atline_ = 0;

    // The input, as the last read left it (see reading.cpp).
    enum class readstate : unsigned char { open, waiting, failed, ended, lastcut };
    readstate read_ = readstate::open;
    bool wouldblock_ = false; // the last read met EAGAIN
    int readerror_ = 0;       // the errno of a failed read
    bool finished_ = false;
    ending e_;

    std::mutex lock_;
    std::condition_variable wake_;    // for the workers: a block is queued, or stop
    std::condition_variable settled_; // for this thread: a block is converted
    bool stopping_ = false;
    std::thread workers_[maxthreads - 1];
};

} // namespace converter::ring

#endif
