// The system-call layer where there is no poll(2) (Windows), on the calls
// of the C library and of the descriptors' handles: reads of at most 1 GiB
// (the count is an unsigned int), writes to the handle, a look at the
// handle's state, and heap memory aligned to a page. Descriptors block, so
// a read waits by itself and never meets EAGAIN.
#include "converter/sysio.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <new>
#include <unistd.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace converter {

namespace {

constexpr std::size_t callmax = std::size_t{1} << 30;

ssize_t readfd(int fd, void* to, std::size_t n) {
    return ::read(fd, to, static_cast<unsigned>(std::min(n, callmax)));
}

// Writes go to the handle itself: when a reader goes away mid-write, the C
// library's write loses the part written and calls the failure EINVAL.
ssize_t writefd(int fd, const void* p, std::size_t n) {
    const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD k = 0;
    if (::WriteFile(h, p, static_cast<DWORD>(std::min(n, callmax)), &k, nullptr)) return k;
    constexpr struct {
        DWORD error;
        int code;
    } reasons[] = {{ERROR_NO_DATA, EPIPE},           {ERROR_PIPE_NOT_CONNECTED, EPIPE},
                   {ERROR_BROKEN_PIPE, EPIPE},       {ERROR_DISK_FULL, ENOSPC},
                   {ERROR_HANDLE_DISK_FULL, ENOSPC}, {ERROR_INVALID_HANDLE, EBADF},
                   {ERROR_ACCESS_DENIED, EACCES}};
    const DWORD e = ::GetLastError();
    errno = EIO;
    for (const auto& r : reasons)
        if (r.error == e) errno = r.code;
    return -1;
}

// Input is ready only where a look knows: a file always, a pipe that holds
// bytes or whose writer has gone. Anything else (a console; under wine, a
// Unix pipe) counts as not ready, so that all converted is out before the
// read.
bool ready(int fd) {
    const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD bytes = 0;
    switch (::GetFileType(h)) {
    case FILE_TYPE_DISK: return true;
    case FILE_TYPE_PIPE:
        if (::PeekNamedPipe(h, nullptr, 0, nullptr, &bytes, nullptr)) return bytes > 0;
        return ::GetLastError() == ERROR_BROKEN_PIPE;
    default: return false;
    }
}

void waitfor(int, bool) {} // a blocking descriptor is always ready

constexpr std::align_val_t page{4096};

} // namespace

void* mapmemory(std::size_t n) noexcept {
    return ::operator new(n, page, std::nothrow);
}

void unmapmemory(void* p, std::size_t n) noexcept {
    ::operator delete(p, n, page);
}

void rawstdio() noexcept {
    ::_setmode(0, O_BINARY);
    ::_setmode(1, O_BINARY);
}

const sysio systemio{readfd, writefd, ready, waitfor, nullptr, unreadfile};

} // namespace converter
