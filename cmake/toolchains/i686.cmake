# 32-bit x86 (Debian's i386): Debian's i686-linux-gnu cross compiler. Where
# this x86-64 machine's kernel runs 32-bit x86 code (tried here through the
# target's own loader), what is built runs on the processor itself, through
# that loader and the target's libraries: the x87 for real, and threads.
# Where it does not (a kernel without IA32 emulation), or with
# TABJD_NATIVE_I686=OFF, it runs under qemu-i386 pinned to one processor, as
# qemu-i386 cannot start a second thread: the programs then start none, and
# the tests that start threads themselves are left out (TABJD_NO_THREADS).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TABJD_TRIPLE i686-linux-gnu)
set(TABJD_NATIVE_I686 ON CACHE BOOL
    "Run 32-bit x86 code on this processor where its kernel can (OFF: under qemu-i386)")
set(loader /usr/${TABJD_TRIPLE}/lib/ld-linux.so.2)
set(failed 1)
if(TABJD_NATIVE_I686)
    execute_process(COMMAND ${loader} --version RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
endif()
if(failed STREQUAL 0)
    set(TABJD_LOADER ${loader})
else()
    # The first processor this process may run on (not always processor 0).
    execute_process(COMMAND sh -c "taskset -cp $$" OUTPUT_VARIABLE cpus)
    string(REGEX MATCH ": *([0-9]+)" cpus "${cpus}")
    set(TABJD_QEMU taskset -c ${CMAKE_MATCH_1} qemu-i386)
    set(TABJD_NO_THREADS ON)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
