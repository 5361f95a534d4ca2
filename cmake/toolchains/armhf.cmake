# 32-bit ARM with hard float (Debian's armhf): Debian's arm-linux-gnueabihf
# cross compiler, and qemu-arm to run what is built.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(TABJD_TRIPLE arm-linux-gnueabihf)
set(TABJD_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
