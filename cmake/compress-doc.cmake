# Build-time helper: gzip a document for installation, as Debian wants it
# (-9, and -n so that the archive carries no name or timestamp and the
# package builds byte for byte the same). With VERSION set the input is a
# man page: the version in its .TH line becomes VERSION first, so that the
# installed page always shows the version the project is built as.
#
#   cmake -DIN=src -DOUT=file.gz [-DVERSION=x.y.z] -DGZIP=/bin/gzip -P compress-doc.cmake
foreach(var IN ITEMS IN OUT GZIP)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "compress-doc.cmake: ${var} is not set")
    endif()
endforeach()

string(REGEX REPLACE "\\.gz$" "" plain "${OUT}")
if(plain STREQUAL OUT)
    message(FATAL_ERROR "compress-doc.cmake: OUT must end in .gz, not ${OUT}")
endif()

file(READ "${IN}" text)
if(DEFINED VERSION)
    # The title line is the first one that starts with .TH; every dotted
    # number on it that follows a blank or a quote is the version.
    string(REGEX MATCH "(^|\n)\\.TH[ \t][^\n]*" th "${text}")
    if(th)
        string(REGEX REPLACE "([ \t\"])[0-9]+(\\.[0-9]+)+" "\\1${VERSION}" newth "${th}")
        string(REPLACE "${th}" "${newth}" text "${text}")
    endif()
endif()
file(WRITE "${plain}" "${text}")

execute_process(COMMAND "${GZIP}" -9nc
                INPUT_FILE "${plain}" OUTPUT_FILE "${OUT}.tmp"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    file(REMOVE "${OUT}.tmp")
    message(FATAL_ERROR "compress-doc.cmake: ${GZIP} failed on ${plain}: ${status}")
endif()
file(RENAME "${OUT}.tmp" "${OUT}")
