# 32-bit x86 (Debian's i386): Debian's i686-linux-gnu cross compiler. What
# is built runs on this x86-64 machine itself, through the target's own
# loader and libraries: the processor runs 32-bit x86 code, the x87
# included, and qemu-i386 cannot start a second thread.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TABJD_TRIPLE i686-linux-gnu)
set(TABJD_LOADER /usr/i686-linux-gnu/lib/ld-linux.so.2)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
