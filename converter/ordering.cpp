// Ordering: the run's loop, and the converted blocks joined in input
// order: each from where the one before truly ended, with its rows' lines,
// failures and warnings moved to their place in the input. This thread only.
#include "converter/ring.h"

#include <algorithm>

namespace converter {

namespace ring {

ending engine::run() noexcept {
    // Blocks converted go out first; then input is read ahead for the other
    // threads; only then does this thread convert, the oldest block first.
    while (!finished_) {
        if (cur_ < cut_ && joinoldest(false)) continue;
        if (readahead()) continue;
        if (cur_ < cut_ && joinoldest(true)) continue;
        if (convertahead()) continue;
        waitforcurrent();
    }
    return e_;
}

// The oldest block, once converted (or, when here is set, converted here
// if no thread has taken it up): its rows from the true row start on.
bool engine::joinoldest(bool here) noexcept {
    slot& s = slotof(cur_);
    std::unique_lock<std::mutex> l(lock_);
    if (s.now == slot::state::working || (s.now == slot::state::queued && !here)) return false;
    if (s.now == slot::state::queued) {
        // Not begun: converted here, from the true row start.
        s.now = slot::state::working;
        claimed_ = std::max(claimed_, cur_ + 1);
        s.first = const_cast<char*>(at_);
        l.unlock();
        convertblock(s, kernel_, s.out + outcap_);
        l.lock();
        s.now = slot::state::done;
    }
    l.unlock();
    putout(s);
    return true;
}

// putout: the rows of converted block s from at_, a true row start in it:
// its conversion where that started at at_, else converted here.
void engine::putout(slot& s) noexcept {
    if (s.first != at_) return converthere(s);
    said_.rows(s.result.seen, atline_);
    if (!out_.send({s.out, static_cast<std::size_t>(s.result.out - s.out)}))
        return finish(writeerror);
    blockresult r = s.result;
    r.line += atline_;
    r.fail.line += atline_;
    goonfrom(s, r);
}

// goonfrom: on from where a true conversion of s ended.
void engine::goonfrom(slot& s, const blockresult& r) noexcept {
    at_ = r.stop;
    atline_ = r.line;
    switch (r.why) {
    case halt::failed: e_.fail = r.fail; return finish(badvalue);
    case halt::ended: return finish(endofinput);
    case halt::full: return converthere(s);
    case halt::pastend: break;
    }
    if (at_ == s.last) return nextblock();
    // A row that runs into the next block.
    streamrow();
}

// converthere: block s from at_ on, converted here.
void engine::converthere(slot& s) noexcept {
    for (;;) {
        const blockresult r = kernel_({at_, s.last, atline_, s.final}, out_.room(), out_.roomend());
        out_.commit(r.out);
        said_.rows(r.seen);
        if (r.why != halt::full) return goonfrom(s, r);
        at_ = r.stop;
        atline_ = r.line;
        if (!out_.flush()) return finish(writeerror);
    }
}

// nextblock: on to the next block, at its start.
void engine::nextblock() noexcept {
    release(cur_);
    ++cur_;
    at_ = slotof(cur_).first;
}

} // namespace ring

bool rowphase(input& in, int fd, output& out, const rowlayout& chosen, blockkernel* kernel,
              const sysio& sys, parallelism spread, warnings& said, ending& e) noexcept {
    ring::engine run(in, fd, out, chosen, kernel, sys, spread, said);
    if (!run.ready()) return false;
    e = run.run();
    return true;
}

} // namespace converter
