# What gets installed besides the two programs, and the Debian package that
# carries it all (`cpack -G DEB` in a build directory); or, with
# TABJD_DOWNLOAD set to the name of a system, a ZIP to download for it
# (`cpack -G ZIP`: tabjd-VERSION-NAME.zip) that holds the programs, the
# README, the copyright and the man pages as plain text, side by side (the
# windows preset, which also puts the programs at the top: CMAKE_INSTALL_BINDIR
# is .).
#
# Man pages and the changelog are gzipped at build time into the build
# directory and installed from there, so `cmake --install` and the package
# lay out the same files.
set(TABJD_DOWNLOAD "" CACHE STRING
    "Lay out a ZIP download for this system name (win64) instead of a Unix tree and a .deb")

set(TABJD_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# The changelog's newest entry names the version being built: a version bump
# in project() needs an entry there too.
file(STRINGS ${TABJD_PACKAGING_DIR}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^tabjd \\(([^)]+)\\)" OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "packaging/changelog's newest entry is not for version "
                        "${PROJECT_VERSION}: add an entry for tabjd (${PROJECT_VERSION}) at its top")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TABJD_PACKAGING_DIR}/changelog)

find_program(GZIP_COMMAND gzip REQUIRED)

# compressed_doc(<source> <output.gz> [VERSION]): a build-time gzip of
# <source>; with VERSION, a man page whose .TH line gets PROJECT_VERSION.
set(compressed_docs)
function(compressed_doc source output)
    set(version_arg)
    if(ARGV2 STREQUAL "VERSION")
        set(version_arg -DVERSION=${PROJECT_VERSION})
    endif()
    set(script ${PROJECT_SOURCE_DIR}/cmake/compress-doc.cmake)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DIN=${source} -DOUT=${output} -DGZIP=${GZIP_COMMAND}
                ${version_arg} -P ${script}
        DEPENDS ${source} ${script}
        COMMENT "Compressing ${output}"
        VERBATIM)
    set(compressed_docs ${compressed_docs} ${output} PARENT_SCOPE)
endfunction()

# A stripping install (cpack, or cmake --install --strip) also drops the
# compiler's .comment section, as Debian's own packages do.
if(CMAKE_OBJCOPY)
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            foreach(program tabjd tabjd2)
                execute_process(
                    COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}${CMAKE_EXECUTABLE_SUFFIX}\"
                    COMMAND_ERROR_IS_FATAL ANY)
            endforeach()
        endif()")
endif()

set(doc_build_dir ${PROJECT_BINARY_DIR}/doc)
compressed_doc(${PROJECT_SOURCE_DIR}/man/tabjd.1 ${doc_build_dir}/tabjd.1.gz VERSION)
compressed_doc(${PROJECT_SOURCE_DIR}/man/tabjd2.1 ${doc_build_dir}/tabjd2.1.gz VERSION)
# The package is native (its version has no Debian revision), so Debian
# wants its changelog under the plain name changelog.gz.
compressed_doc(${TABJD_PACKAGING_DIR}/changelog ${doc_build_dir}/changelog.gz)
add_custom_target(compressed-docs ALL DEPENDS ${compressed_docs})

if(TABJD_DOWNLOAD)
    # Each man page as plain UTF-8 text, from the one made with the version.
    find_program(GROFF_COMMAND groff REQUIRED)
    foreach(page tabjd tabjd2)
        add_custom_command(
            OUTPUT ${doc_build_dir}/${page}.txt
            COMMAND ${GROFF_COMMAND} -mandoc -Tutf8 -P-cbou ${doc_build_dir}/${page}.1
                    > ${doc_build_dir}/${page}.txt
            DEPENDS ${doc_build_dir}/${page}.1.gz
            COMMENT "Formatting ${page}.txt")
        list(APPEND pages ${doc_build_dir}/${page}.txt)
    endforeach()
    add_custom_target(text-docs ALL DEPENDS ${pages})
    install(FILES README.md ${pages} DESTINATION .)
    install(FILES ${TABJD_PACKAGING_DIR}/copyright DESTINATION . RENAME copyright.txt)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_NAME tabjd)
    set(CPACK_SYSTEM_NAME ${TABJD_DOWNLOAD})
    set(CPACK_STRIP_FILES ON)
    include(CPack)
    return()
endif()

install(FILES ${doc_build_dir}/tabjd.1.gz ${doc_build_dir}/tabjd2.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md ${TABJD_PACKAGING_DIR}/copyright ${doc_build_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tabjd)
set(CPACK_PACKAGE_VENDOR "tabjd developers")
set(CPACK_PACKAGE_CONTACT "tabjd developers <tabjd@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert tabular time-series reports to Julian date and value")
set(CPACK_PACKAGE_DESCRIPTION [[
tabjd and tabjd2 are small filters that read a tabular time-series report
(header lines, a dashed separator, then rows of year, month, day, an
optional minute of the day and a value) and write a two-column table of
astronomical Julian date and value, ready for plotting and analysis tools.
tabjd2 reads rows with one more numeric column before the value and drops it.

Both stream their input in constant memory: files of any size, files with
CRLF line ends and live feeds through tail -f all work.]])
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)

# Builds the package and checks it unpacked (tests/package-test). Off by
# default: it needs dpkg-dev, man-db, file and binutils, which the plain
# build and tests do not.
option(TABJD_PACKAGE_TEST "Register the tests that build and check the Debian package" OFF)
if(TABJD_PACKAGE_TEST)
    enable_testing()
    set(package_test ${PROJECT_SOURCE_DIR}/tests/package-test)
    add_test(NAME package.build COMMAND bash ${package_test} build ${PROJECT_BINARY_DIR})
    set_tests_properties(package.build PROPERTIES FIXTURES_SETUP tabjd_deb TIMEOUT 300)
    foreach(step IN ITEMS contents programs manpages)
        add_test(NAME package.${step}
                 COMMAND bash ${package_test} ${step} ${PROJECT_BINARY_DIR})
        set_tests_properties(package.${step} PROPERTIES FIXTURES_REQUIRED tabjd_deb TIMEOUT 120)
    endforeach()
endif()
