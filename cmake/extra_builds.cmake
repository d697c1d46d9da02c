# Further builds of the same sources, each tested as one test of this
# build, so that one test run covers them all: the whole suite under the
# sanitizers, and the Windows program with its tests under wine64.
include(ExternalProject)

ExternalProject_Add(sanitized
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/sanitized
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSIZEGUARD_SANITIZE=ON
        -DSIZEGUARD_EXTRA_BUILDS=OFF
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
add_test(NAME sanitized
    COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${CMAKE_BINARY_DIR}/sanitized --output-on-failure)
set_tests_properties(sanitized PROPERTIES TIMEOUT 300)

find_program(MINGW_I686 i686-w64-mingw32-g++-posix)
find_program(MINGW_X86_64 x86_64-w64-mingw32-g++-posix)
find_program(WINE64 wine64 PATHS /usr/lib/wine)

if(MINGW_I686 AND MINGW_X86_64 AND WINE64 AND EXISTS /usr/src/googletest)
    foreach(arch IN ITEMS x86 x64)
        if(arch STREQUAL x86)
            set(toolchain ${PROJECT_SOURCE_DIR}/cmake/mingw-i686.cmake)
        else()
            set(toolchain ${PROJECT_SOURCE_DIR}/cmake/mingw-x86_64.cmake)
        endif()
        ExternalProject_Add(windows-${arch}
            SOURCE_DIR ${PROJECT_SOURCE_DIR}
            BINARY_DIR ${CMAKE_BINARY_DIR}/windows-${arch}
            CMAKE_ARGS --toolchain ${toolchain} -DCMAKE_BUILD_TYPE=Release
            INSTALL_COMMAND ""
            BUILD_ALWAYS ON)
        add_test(NAME windows-${arch}
            COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${CMAKE_BINARY_DIR}/windows-${arch}
                --output-on-failure)
        set_tests_properties(windows-${arch} PROPERTIES TIMEOUT 300)
    endforeach()
elseif(DEFINED ENV{CI})
    message(FATAL_ERROR "CI must run the Windows tests: .ci/run installs "
        "g++-mingw-w64-i686-posix, g++-mingw-w64-x86-64-posix, googletest and wine64")
else()
    message(STATUS "skipped: Windows build and tests (no MinGW-w64, wine64 or googletest sources)")
    add_test(NAME windows COMMAND sh -c
        "echo 'skipped: Windows build and tests: install g++-mingw-w64 and wine64'; exit 77")
    set_tests_properties(windows PROPERTIES SKIP_RETURN_CODE 77)
endif()
