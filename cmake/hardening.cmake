# Hardening for the builds that get installed, as Debian builds its own
# packages: position-independent executables (or images placed at random), a
# relocation table that is resolved at start-up and then made read-only, and
# the checked variants of the libc calls whose buffer sizes are known at
# compile time. A conversion runs the same number of instructions with it as
# without.
#
# Off under the sanitizers: they bring their own checks, and their
# interceptors do not mix with _FORTIFY_SOURCE's wrappers.
option(TABJD_HARDEN "Build with PIE, full RELRO and _FORTIFY_SOURCE" ON)

if(TABJD_HARDEN AND NOT TABJD_SANITIZE)
    include(CheckPIESupported)
    include(CheckLinkerFlag)
    check_pie_supported(OUTPUT_VARIABLE pie_output LANGUAGES CXX)
    if(CMAKE_CXX_LINK_PIE_SUPPORTED)
        set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    else()
        # A PE image (Windows) is placed at random by --dynamicbase instead.
        check_linker_flag(CXX "LINKER:--dynamicbase" TABJD_LINKER_DYNAMICBASE)
        if(TABJD_LINKER_DYNAMICBASE)
            add_link_options(LINKER:--dynamicbase)
        else()
            message(WARNING "Building without PIE: ${pie_output}")
        endif()
    endif()

    # _FORTIFY_SOURCE needs an optimised build; -U first so that a compiler
    # that predefines it does not warn about the redefinition. Only where a
    # program built with it links: MinGW-w64's checked calls need libssp.
    include(CheckCXXSourceCompiles)
    set(CMAKE_REQUIRED_FLAGS "-O2 -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2")
    check_cxx_source_compiles([[
        #include <cstring>
        int main(int argc, char**) {
            char a[8], b[8] = {};
            std::memcpy(a, b, static_cast<unsigned>(argc));
            return a[0];
        }]] TABJD_HAVE_FORTIFY_SOURCE)
    unset(CMAKE_REQUIRED_FLAGS)
    if(TABJD_HAVE_FORTIFY_SOURCE)
        set(optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
        add_compile_options($<${optimised}:-U_FORTIFY_SOURCE> $<${optimised}:-D_FORTIFY_SOURCE=2>)
    endif()
    # Full RELRO where the linker takes it (GNU ld, gold, lld; not Apple's).
    check_linker_flag(CXX "LINKER:-z,relro,-z,now" TABJD_LINKER_RELRO)
    if(TABJD_LINKER_RELRO)
        add_link_options(LINKER:-z,relro,-z,now)
    endif()
endif()
