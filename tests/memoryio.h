// The system calls of the I/O layer played from memory: input served from a
// string at most `chunk` bytes a read, so that tokens and line ends fall
// across refills; output kept.
#ifndef TABJD_TESTS_MEMORYIO_H
#define TABJD_TESTS_MEMORYIO_H

#include "converter/status.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace testing_support {

struct memoryio {
    std::string input;
    std::size_t chunk = 1;
    std::size_t at = 0;
    std::string out;
};

// What memorysys serves and keeps; a test sets it afresh for each run.
inline memoryio memory;

inline ssize_t memoryread(int, void* buffer, std::size_t n) {
    const std::size_t k = std::min({n, memory.chunk, memory.input.size() - memory.at});
    std::memcpy(buffer, memory.input.data() + memory.at, k);
    memory.at += k;
    return static_cast<ssize_t>(k);
}
inline ssize_t memorywrite(int, const void* buffer, std::size_t n) {
    memory.out.append(static_cast<const char*>(buffer), n);
    return static_cast<ssize_t>(n);
}
inline int memorypoll(pollfd*, nfds_t, int) {
    return 1;
}
inline const converter::sysio memorysys{memoryread, memorywrite, memorypoll};

} // namespace testing_support

#endif
