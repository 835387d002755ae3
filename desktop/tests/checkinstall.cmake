# Installs the build into an empty folder and checks that every file is where the
# desktop and the program look for it.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected
    ${BINDIR}/tessaly
    ${BINDIR}/tessaly-cli
    ${DATADIR}/tessaly/transl.dt
    ${DATADIR}/applications/${APP_ID}.desktop
    ${DATADIR}/metainfo/${APP_ID}.metainfo.xml
    ${DATADIR}/icons/hicolor/scalable/apps/${APP_ID}.svg
    ${MANDIR}/man1/tessaly.1.gz
    ${MANDIR}/man1/tessaly-cli.1.gz
    ${DATADIR}/bash-completion/completions/tessaly-cli)
foreach(size 16 22 24 32 48 64 128 256)
    list(APPEND expected ${DATADIR}/icons/hicolor/${size}x${size}/apps/${APP_ID}.png)
endforeach()

file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
    string(REPLACE ";" "\n  " installedText "${installed}")
    string(REPLACE ";" "\n  " expectedText "${expected}")
    message(FATAL_ERROR "installed:\n  ${installedText}\nexpected:\n  ${expectedText}")
endif()

# Each PNG has the size its folder names (the PNG header holds width and height).
foreach(size 16 22 24 32 48 64 128 256)
    file(READ "${PREFIX}/${DATADIR}/icons/hicolor/${size}x${size}/apps/${APP_ID}.png" header
        LIMIT 24 HEX)
    string(SUBSTRING "${header}" 32 16 dimensions)
    string(SUBSTRING "${dimensions}" 0 8 widthHex)
    string(SUBSTRING "${dimensions}" 8 8 heightHex)
    math(EXPR width "0x${widthHex}")
    math(EXPR height "0x${heightHex}")
    if(NOT width EQUAL size OR NOT height EQUAL size)
        message(FATAL_ERROR "${size}x${size} icon is ${width}x${height}")
    endif()
endforeach()

execute_process(COMMAND "${PREFIX}/${BINDIR}/tessaly-cli" --version
    OUTPUT_VARIABLE output RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT output STREQUAL "tessaly-cli ${VERSION}\n")
    message(FATAL_ERROR "installed tessaly-cli --version: ${result} '${output}'")
endif()
