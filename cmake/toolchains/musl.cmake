# x86-64 Linux with musl and libc++, linked statically: built by zig, and
# run on this machine as it is.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TABJD_ZIG_TARGET x86_64-linux-musl)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
