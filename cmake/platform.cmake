# What differs between the systems a scientist has, found by trying it, so
# that a system nobody here has tried gets the right branch: the general
# number reader, the processors this process may run on, and the system
# calls of the I/O layer (converter/sysio.h), for which Windows has stand-ins.
include(CheckCXXSourceCompiles)

# The general number path: fast_float where it is installed, else the
# standard library's from_chars for double where it has one (libstdc++ 11
# and later; libc++ only from LLVM 20).
find_package(FastFloat CONFIG QUIET)
if(FastFloat_FOUND)
    set(TABJD_HAVE_FAST_FLOAT 1)
else()
    set(TABJD_HAVE_FAST_FLOAT 0)
    check_cxx_source_compiles([[
        #include <charconv>
        int main() {
            double d;
            const char s[] = "1.5";
            return std::from_chars(s, s + 3, d, std::chars_format::general).ec == std::errc{} ? 0 : 1;
        }]] TABJD_HAVE_FROM_CHARS_DOUBLE)
    if(NOT TABJD_HAVE_FROM_CHARS_DOUBLE)
        message(FATAL_ERROR "Reading numbers needs fast_float, as this C++ library has no "
                "from_chars for double: install it (Debian and Ubuntu: apt install "
                "libfast-float-dev; Homebrew: brew install fast_float; FreeBSD: pkg install "
                "fast_float) and configure again")
    endif()
endif()

# The processors this process may run on; else those online, as the C++
# library counts them.
check_cxx_source_compiles([[
    #include <sched.h>
    int main() {
        cpu_set_t allowed;
        return sched_getaffinity(0, sizeof allowed, &allowed) == 0 ? CPU_COUNT(&allowed) : 0;
    }]] TABJD_HAVE_SCHED_GETAFFINITY)

# Offsets in files past 2 GiB: where off_t is narrower (32-bit systems,
# Windows), the C library's 64-bit file calls are asked for.
set(offset64 [[
    #include <sys/types.h>
    static_assert(sizeof(off_t) >= 8, "off_t is narrower than 64 bits");
    int main() {}]])
check_cxx_source_compiles("${offset64}" TABJD_HAVE_OFF_T_64)
if(NOT TABJD_HAVE_OFF_T_64)
    set(CMAKE_REQUIRED_DEFINITIONS -D_FILE_OFFSET_BITS=64)
    check_cxx_source_compiles("${offset64}" TABJD_HAVE_FILE_OFFSET_BITS)
    unset(CMAKE_REQUIRED_DEFINITIONS)
endif()

# Where GCC cannot realign the stack (its unwinding is SEH: 64-bit
# Windows), it is aligned to 16 bytes only, and a 32-byte AVX2 register
# spilled there may be misaligned: the assembler makes every aligned vector
# move an unaligned one, as fast on aligned data.
check_cxx_source_compiles([[
    #if !defined(__GNUC__) || defined(__clang__) || !defined(__SEH__) || !defined(__x86_64__)
    #error the stack is realigned where a spill needs it
    #endif
    int main() {}]] TABJD_STACK_ALIGNED_16)
if(TABJD_STACK_ALIGNED_16)
    add_compile_options(-Wa,-muse-unaligned-vector-move)
endif()

# The system-call layer (converter/sysio.h): where there is poll(2), the
# system's own calls (sysposix.cpp); else the stand-ins on the descriptors'
# handles (syswindows.cpp).
check_cxx_source_compiles([[
    #include <poll.h>
    int main() {
        pollfd p{0, POLLIN, 0};
        return poll(&p, 1, 0);
    }]] TABJD_HAVE_POLL)
if(TABJD_HAVE_POLL)
    set(TABJD_SYSTEM_CALLS converter/sysposix.cpp)
else()
    check_cxx_source_compiles([[
        #include <io.h>
        #include <windows.h>
        int main() {
            DWORD n = 0;
            const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(0));
            return GetFileType(h) == FILE_TYPE_PIPE && PeekNamedPipe(h, nullptr, 0, nullptr, &n, nullptr) &&
                   WriteFile(h, "", 0, &n, nullptr);
        }]] TABJD_HAVE_PEEKNAMEDPIPE)
    if(NOT TABJD_HAVE_PEEKNAMEDPIPE)
        message(FATAL_ERROR "This system has neither poll(2) "
                            "nor the calls on Windows handles that stand in for it")
    endif()
    set(TABJD_SYSTEM_CALLS converter/syswindows.cpp)
endif()

# Applied to the converter library and what uses it: its headers test them.
function(tabjd_platform target)
    target_compile_definitions(${target} PUBLIC
        TABJD_HAVE_FAST_FLOAT=${TABJD_HAVE_FAST_FLOAT}
        TABJD_HAVE_SCHED_GETAFFINITY=$<BOOL:${TABJD_HAVE_SCHED_GETAFFINITY}>
        $<$<BOOL:${TABJD_HAVE_FILE_OFFSET_BITS}>:_FILE_OFFSET_BITS=64>)
    if(FastFloat_FOUND)
        target_link_libraries(${target} PRIVATE FastFloat::fast_float)
    endif()
endfunction()
