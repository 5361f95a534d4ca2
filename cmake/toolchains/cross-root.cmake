# What a cross build finds where, for the toolchain files that include this:
# headers, libraries and packages under the target's root TABJD_CROSS_ROOT,
# where it has one, and fast_float (header-only) under the prefix that
# .ci/install-deps makes of Debian's package (where it is missing, the C++
# library's from_chars); programs on this machine.
get_filename_component(fast_float ${CMAKE_CURRENT_LIST_DIR}/../../build/tools/fast_float ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH ${TABJD_CROSS_ROOT} ${fast_float})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
