// Workers: the threads that convert queued blocks, started and joined with
// the ring, and every slot transition (see ring.h), made under the lock for
// them and for this thread.
#include "converter/ring.h"

#include <algorithm>
#if TABJD_HAVE_SCHED_GETAFFINITY
#include <sched.h>
#endif

namespace converter {

parallelism defaultparallelism() noexcept {
    unsigned cpus = 1;
#if TABJD_HAVE_SCHED_GETAFFINITY
    // The processors this process may run on, as taskset and cgroups set them.
    cpu_set_t allowed;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        cpus = static_cast<unsigned>(CPU_COUNT(&allowed));
#else
    cpus = std::thread::hardware_concurrency(); // the processors online; 0 when it cannot tell
#endif
    return {std::clamp(cpus, 1u, maxthreads)};
}

// start: the other threads, threads_ - 1 of them, or fewer if the system
// has no more to give.
void ring::start() noexcept {
    for (unsigned i = 0; i + 1 < threads_; ++i) {
        try {
            workers_[i] = std::thread([this] { work(); });
        } catch (...) {
            break;
        }
    }
}

// stop: every worker told to stop, and joined.
void ring::stop() noexcept {
    {
        std::lock_guard<std::mutex> l(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_)
        if (t.joinable()) t.join();
}

// A worker: converts the blocks queued, until the run stops.
void ring::work() noexcept {
    std::unique_lock<std::mutex> l(lock_);
    for (;;) {
        wake_.wait(l, [this] { return stopping_ || claimed_ < sealed_; });
        if (stopping_) return;
        convertnext(l);
        settled_.notify_one();
    }
}

// convertnext: the next block queued, if any, converted from its first; l
// holds the lock, and is let go meanwhile.
bool ring::convertnext(std::unique_lock<std::mutex>& l) noexcept {
    if (claimed_ >= sealed_) return false;
    slot& s = slotof(claimed_++);
    s.now = slot::state::working;
    l.unlock();
    s.result = kernel_({s.first, s.last, 0, s.final}, s.out, s.out + outcap_);
    l.lock();
    s.now = slot::state::done;
    return true;
}

// Another block converted here while the oldest is still being converted.
bool ring::convertahead() noexcept {
    std::unique_lock<std::mutex> l(lock_);
    return convertnext(l);
}

void ring::waitforcurrent() noexcept {
    std::unique_lock<std::mutex> l(lock_);
    settled_.wait(l, [this] { return slotof(cur_).now != slot::state::working; });
}

// takeoldest: whether the oldest block is converted; when here is set and
// no thread has taken it up, it is converted first, here, from at_.
bool ring::takeoldest(bool here) noexcept {
    slot& s = slotof(cur_);
    std::unique_lock<std::mutex> l(lock_);
    if (here && s.now == slot::state::queued) {
        s.first = const_cast<char*>(at_);
        convertnext(l); // claimed_ is cur_
    }
    return s.now == slot::state::done;
}

// queue: the block being filled, sealed, for any thread; unless it is the
// last, the slot after it holds the next. false, with nothing queued, when
// the ring is full or a thread still converts in that slot.
bool ring::queue(bool final) noexcept {
    if (!final && sealed_ + 2 - cur_ > count_) return false;
    {
        std::lock_guard<std::mutex> l(lock_);
        slot& next = slotof(sealed_ + 1);
        if (!final && next.now == slot::state::working) return false;
        slotof(sealed_).now = slot::state::queued;
        if (!final) next.now = slot::state::idle;
        ++sealed_;
    }
    wake_.notify_one();
    return true;
}

// release: block n is put out; its slot is free once no thread reads it.
void ring::release(std::uint64_t n) noexcept {
    std::lock_guard<std::mutex> l(lock_);
    slot& s = slotof(n);
    // Passed before any thread took it up: nobody will.
    if (s.now == slot::state::queued) claimed_ = n + 1;
    if (s.now != slot::state::working) s.now = slot::state::idle;
}

} // namespace converter
