// The row phase: the rows after the header, read ahead in blocks that end at
// a line end, converted by the block kernel on several threads (see ring.h)
// and written in input order. With one thread, this one does it all. Before
// a read that may wait, all rows read so far are out.
#ifndef TABJD_CONVERTER_ROWPHASE_H
#define TABJD_CONVERTER_ROWPHASE_H

#include "converter/kernel.h"
#include "converter/reader.h"
#include "converter/signs.h"
#include "converter/writer.h"

namespace converter {

// How the row phase is spread: the threads that convert rows (1: this one
// alone), and the most input a block read ahead for them holds (0: a size
// that suits the threads).
struct parallelism {
    unsigned threads;
    std::size_t blocksize = 0;
};
inline constexpr unsigned maxthreads = 8;

// The processors this process may run on (sched_getaffinity where the
// system has it, else those online, else as the C++ library counts them),
// at most maxthreads.
parallelism defaultparallelism() noexcept;

// rowphase: the row phase on spread.threads threads, this one among them,
// for the rows that follow the header in, read on from fd; row lines on out,
// and the rows' warnings through said, in input order. Every system call is
// made on this thread, through sys. e is what ended it. false, with nothing
// read, when there is no memory for the blocks.
bool rowphase(input& in, int fd, output& out, const rowlayout& chosen, blockkernel* kernel,
              const sysio& sys, parallelism spread, warnings& said, ending& e) noexcept;

} // namespace converter

#endif
