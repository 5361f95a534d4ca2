// Ordering: the run's loop, and the converted blocks joined in input order:
// each from where the one before truly ended, with its rows' lines,
// failures and warnings moved to their place in the input. This thread only.
#include "converter/ring.h"

namespace converter {

ending ring::run() noexcept {
    // Blocks converted go out first; then input is read ahead for the other
    // threads; only then does this thread convert, the oldest block first.
    ending_.why = ok;
    while (ending_.why == ok)
        if (!joinoldest(false) && !readahead() && !joinoldest(true) && !convertahead())
            waitforcurrent();
    return ending_;
}

// joinoldest: the rows of the oldest block from at_ out, once it is
// converted (or, when here is set, converted here if no thread has taken it
// up): its conversion while that began at at_, then the rest converted here
// into the output buffer.
bool ring::joinoldest(bool here) noexcept {
    if (cur_ == sealed_ || !takeoldest(here)) return false;
    slot& s = slotof(cur_);
    for (bool own = s.first == at_;; own = false) {
        blockresult r;
        if (own) {
            r = s.result;
            said_.rows(r.seen, atline_);
            if (!out_.send({s.out, static_cast<std::size_t>(r.out - s.out)}))
                return finish(writeerror);
        } else {
            r = kernel_({at_, s.last, 0, s.final}, out_.room(), out_.roomend());
            out_.commit(r.out);
            said_.rows(r.seen, atline_);
        }
        r.fail.line += atline_;
        at_ = r.stop;
        atline_ += r.line;
        switch (r.why) {
        case halt::full:
            if (!own && !out_.flush()) return finish(writeerror);
            continue;
        case halt::pastend:
            // A row that runs into the next block, or on to that block.
            if (at_ != s.last) return streamrow();
            release(cur_);
            at_ = slotof(++cur_).first;
            return true;
        case halt::failed: ending_.fail = r.fail; return finish(badvalue);
        case halt::ended: return finish(endofinput);
        }
    }
}

bool rowphase(input& in, int fd, output& out, const rowlayout& chosen, blockkernel* kernel,
              const sysio& sys, parallelism spread, warnings& said, ending& e) noexcept {
    ring blocks(in, fd, out, chosen, kernel, sys, spread, said);
    if (!blocks.ready()) return false;
    e = blocks.run();
    return true;
}

} // namespace converter
