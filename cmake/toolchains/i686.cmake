# 32-bit x86 (Debian's i386): Debian's i686-linux-gnu cross compiler, and
# qemu-i386 to run what is built.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TABJD_TRIPLE i686-linux-gnu)
set(TABJD_QEMU qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
