# Read after CMake's rules for the platform: its compiler check on Darwin
# passes -Wl,-v, which zig's Mach-O linker refuses, and then cannot tell the
# size of a pointer.
foreach(lang C CXX)
    unset(CMAKE_${lang}_VERBOSE_FLAG)
endforeach()
