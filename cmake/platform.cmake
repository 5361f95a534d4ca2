# What differs between the systems a scientist has, found by trying it, so
# that a system nobody here has tried gets the right branch: the general
# number reader and the processors this process may run on.
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

check_cxx_source_compiles([[
    #include <sched.h>
    int main() {
        cpu_set_t allowed;
        return sched_getaffinity(0, sizeof allowed, &allowed) == 0 ? CPU_COUNT(&allowed) : 0;
    }]] TABJD_HAVE_SCHED_GETAFFINITY)

# Applied to the converter library and what uses it: its headers test them.
function(tabjd_platform target)
    target_compile_definitions(${target} PUBLIC
        TABJD_HAVE_FAST_FLOAT=${TABJD_HAVE_FAST_FLOAT}
        TABJD_HAVE_SCHED_GETAFFINITY=$<BOOL:${TABJD_HAVE_SCHED_GETAFFINITY}>)
    if(FastFloat_FOUND)
        target_link_libraries(${target} PRIVATE FastFloat::fast_float)
    endif()
endfunction()
