# What the toolchain files share: Debian's cross compiler TABJD_TRIPLE-g++,
# the target's headers and libraries under /usr/TABJD_TRIPLE, and qemu-user
# (TABJD_QEMU, perhaps after a command such as taskset) to run what is built,
# with the target's loader and shared libraries from there; or, where this
# machine runs the target's code itself, the target's loader (TABJD_LOADER)
# with those libraries. The tests run under the emulator; GoogleTest is
# built for the target from /usr/src/googletest (Debian's googletest).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${TABJD_TRIPLE}-g++)
# fast_float, header-only, from the prefix that .ci/install-deps makes of
# Debian's package (where it is missing, the C++ library's from_chars).
get_filename_component(fast_float ${CMAKE_CURRENT_LIST_DIR}/../../build/tools/fast_float ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH /usr/${TABJD_TRIPLE} ${fast_float})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(DEFINED TABJD_LOADER)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TABJD_LOADER} --library-path /usr/${TABJD_TRIPLE}/lib)
else()
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TABJD_QEMU} -L /usr/${TABJD_TRIPLE})
endif()
