# Hardening for the builds that get installed, as Debian builds its own
# packages: position-independent executables, a relocation table that is
# resolved at start-up and then made read-only, and the checked variants of
# the libc calls whose buffer sizes are known at compile time. A conversion
# runs the same number of instructions with it as without.
#
# Off under the sanitizers: they bring their own checks, and their
# interceptors do not mix with _FORTIFY_SOURCE's wrappers.
option(TABJD_HARDEN "Build with PIE, full RELRO and _FORTIFY_SOURCE" ON)

if(TABJD_HARDEN AND NOT TABJD_SANITIZE)
    include(CheckPIESupported)
    check_pie_supported(OUTPUT_VARIABLE pie_output LANGUAGES CXX)
    if(CMAKE_CXX_LINK_PIE_SUPPORTED)
        set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    else()
        message(WARNING "Building without PIE: ${pie_output}")
    endif()

    # _FORTIFY_SOURCE needs an optimised build; -U first so that a compiler
    # that predefines it does not warn about the redefinition.
    set(optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
    add_compile_options($<${optimised}:-U_FORTIFY_SOURCE> $<${optimised}:-D_FORTIFY_SOURCE=2>)
    # Full RELRO where the linker takes it (GNU ld, gold, lld; not Apple's).
    include(CheckLinkerFlag)
    check_linker_flag(CXX "LINKER:-z,relro,-z,now" TABJD_LINKER_RELRO)
    if(TABJD_LINKER_RELRO)
        add_link_options(LINKER:-z,relro,-z,now)
    endif()
endif()
