# What the toolchain files share: Debian's cross compiler TABJD_TRIPLE-g++,
# the target's headers and libraries under /usr/TABJD_TRIPLE, and qemu-user
# (TABJD_QEMU, perhaps after a command such as taskset) to run what is built,
# with the target's loader and shared libraries from there; or, where this
# machine runs the target's code itself, the target's loader (TABJD_LOADER)
# with those libraries. The tests run under the emulator; GoogleTest is
# built for the target from /usr/src/googletest (Debian's googletest).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${TABJD_TRIPLE}-g++)
set(TABJD_CROSS_ROOT /usr/${TABJD_TRIPLE})
include(${CMAKE_CURRENT_LIST_DIR}/cross-root.cmake)
if(DEFINED TABJD_LOADER)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TABJD_LOADER} --library-path /usr/${TABJD_TRIPLE}/lib)
else()
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TABJD_QEMU} -L /usr/${TABJD_TRIPLE})
endif()
