// Workers: the threads that convert queued blocks, and the slot
// transitions under the lock (see ring.h), for them and for this thread.
#include "converter/ring.h"

#include <algorithm>
#include <sched.h>
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

namespace ring {

void convertblock(slot& s, blockkernel* kernel, char* limit) noexcept {
    s.result = kernel({s.first, s.last, 0, s.final}, s.out, limit);
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
    convertblock(s, kernel_, s.out + outcap_);
    l.lock();
    s.now = slot::state::done;
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

} // namespace ring

} // namespace converter
