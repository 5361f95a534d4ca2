# IBM Z (Debian's s390x), big-endian: Debian's s390x-linux-gnu cross
# compiler, and qemu-s390x to run what is built.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(TABJD_TRIPLE s390x-linux-gnu)
set(TABJD_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
