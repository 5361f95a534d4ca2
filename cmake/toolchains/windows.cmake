# 64-bit Windows: Debian's MinGW-w64 cross compiler with POSIX threads
# (std::thread over winpthreads), linked statically so that each .exe stands
# alone, and wine to run what is built (the tests that start no process).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix) # GoogleTest enables C
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(TABJD_CROSS_ROOT /usr/x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/cross-root.cmake)
find_program(TABJD_WINE wine64 PATHS /usr/lib/wine)
if(TABJD_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TABJD_WINE})
endif()
