// The ring of blocks that the row phase runs on (see rowphase.h), shared by
// its three parts: reading.cpp owns the ring's memory, fills blocks from the
// input and seals them at line ends; workers.cpp starts and joins the
// threads, converts blocks on any of them, and makes every slot transition;
// ordering.cpp runs the loop and joins the converted blocks in input order.
//
// The speculation: a block is converted, on any thread, as if its first byte
// began a row. at_ is where the true conversion stands, a row start in the
// oldest block; that block's conversion is kept only where its first is
// at_, and from anywhere else the block is converted again, here.
//
// A slot holds one block and goes idle -> queued (sealed, waiting for a
// thread) -> working (being converted) -> done (converted) -> idle (its rows
// are out, or it was passed before any thread took it up). One passed while
// working ends done, and is idle again when sealing reaches its slot.
//
// Blocks are numbered in input order: [cur_, sealed_) are sealed and not yet
// out, slotof(sealed_) is being filled, and those before claimed_ have been
// taken up for conversion, or passed: cur_ <= claimed_ <= sealed_, so that
// the oldest, when queued, is the next to take up. At most count_ - 1 are
// sealed at once, so that the one being filled has a slot of its own.
//
// Threads: every system call, the output, the warnings, and the members but
// the slots belong to this thread (the one that runs run()). A worker reads
// sealed_, claimed_ (which it advances), stopping_ and the slots' states
// under the lock; unlocked, only the slot it works on, kernel_ and outcap_.
// The other fields of a slot belong to the thread converting it while it is
// working, and to this thread otherwise.
#ifndef TABJD_CONVERTER_RING_H
#define TABJD_CONVERTER_RING_H

#include "converter/rowphase.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace converter {

// Blocks in flight per thread: enough that a thread that finishes a block
// finds another queued while this one writes, reads or converts.
inline constexpr unsigned blocksperthread = 4;

class ring {
  public:
    ring(input& in, int fd, output& out, const rowlayout& chosen, blockkernel* kernel,
         const sysio& sys, parallelism spread, warnings& said) noexcept;
    ~ring();
    ring(const ring&) = delete;
    ring& operator=(const ring&) = delete;

    bool ready() const noexcept { return memory_ != nullptr; }
    ending run() noexcept;

    // The text of a row being read as it streams: the blocks one after
    // another, then the input as it comes (see rowscanner.h); its lines
    // counted from the row's first, at atline_.
    struct chain {
        ring& owner;
        const char* p;
        const char* end;
        linecount line;
        bool ended() const noexcept {
            return owner.cur_ < owner.sealed_ ? owner.slotof(owner.cur_).final
                                              : owner.read_ == readstate::ended;
        }
        status readpast() noexcept { return owner.readpast(*this); }
    };

  private:
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
        state now = state::idle; // guarded by the lock
    };
    slot& slotof(std::uint64_t n) noexcept { return slots_[n % count_]; }

    // The steps of the run, each false when it can do nothing now;
    // streamrow and finish always do something.
    bool joinoldest(bool here) noexcept; // ordering.cpp
    bool readahead() noexcept;           // reading.cpp
    bool convertahead() noexcept;        // workers.cpp
    void waitforcurrent() noexcept;

    // reading.cpp
    bool readmore(std::size_t n) noexcept;
    bool seal(const char* end, bool final) noexcept;
    bool streamrow() noexcept;
    status readpast(chain& c) noexcept;
    // workers.cpp
    void start() noexcept;
    void stop() noexcept;
    void work() noexcept;
    bool convertnext(std::unique_lock<std::mutex>& l) noexcept;
    bool takeoldest(bool here) noexcept;
    bool queue(bool final) noexcept;
    void release(std::uint64_t n) noexcept;

    // finish: the run ends, for why.
    bool finish(status why) noexcept {
        ending_.why = why;
        return true;
    }

    output& out_;
    warnings& said_;
    const sysio& sys_;
    const int fd_;
    const layout fields_;
    blockkernel* const kernel_;
    // What the header phase read beyond the header, and whether the input
    // ended there: fixed at the start, and so no read state.
    const char* leftover_;
    const char* const leftoverend_;
    const bool readerended_;

    unsigned threads_;
    unsigned count_;
    std::size_t blocksize_;
    std::size_t outcap_ = 0;
    char* memory_ = nullptr; // mapped for the run: pages never used take no memory
    slot slots_[blocksperthread * maxthreads + 1];

    // Blocks [cur_, sealed_) are sealed and not yet put out; the one being
    // filled is slotof(sealed_), whose text runs from its first to fillend_.
    // Blocks before claimed_ have been taken up for conversion.
    std::uint64_t cur_ = 0;
    std::uint64_t sealed_ = 0;
    std::uint64_t claimed_ = 0;
    char* fillend_ = nullptr;
    bool hasline_ = false; // a line end has come into the block being filled
    // Where the true conversion is: the start of a row, on that line, in
    // slotof(cur_).
    const char* at_ = nullptr;
    linecount atline_ = 0;

    // The input, as the last read left it. open -> ended (a read gave
    // nothing) -> lastsealed (the last block is sealed). From open it may
    // go to waiting (a look found nothing to read) or blocked (a read met
    // EAGAIN: the next read waits for it first), and back once bytes
    // come; what was read is converted and out before a read that may
    // wait. Or to failed (a read failed, its errno in ending_.error): what
    // was read before it is converted and out, then the error ends the run.
    // No row runs on past the last block: a row read as it streams meets
    // ended, never lastsealed.
    enum class readstate : unsigned char { open, waiting, blocked, failed, ended, lastsealed };
    readstate read_ = readstate::open;
    // What ended the run; ok while it goes on.
    ending ending_;

    std::mutex lock_;
    std::condition_variable wake_;    // for the workers: a block is queued, or stop
    std::condition_variable settled_; // for this thread: a block is converted
    bool stopping_ = false;
    std::thread workers_[maxthreads - 1];
};

} // namespace converter

#endif
