# 64-bit ARM (Debian's arm64): Debian's aarch64-linux-gnu cross compiler,
# and qemu-aarch64 to run what is built.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TABJD_TRIPLE aarch64-linux-gnu)
set(TABJD_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
