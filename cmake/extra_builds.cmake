# Further builds of the same sources, tested by this build's test run: the
# suite under the sanitizers, and the 32-bit Windows program with its tests
# under 32-bit Wine. They build in the console pool, so their output shows as
# it comes, and each group of their tests is a test here, so that no step is
# silent for long.
include(ExternalProject)

function(sizeguard_sub_build name host)  # ARGN: its cache settings
    ExternalProject_Add(${name}
        SOURCE_DIR ${PROJECT_SOURCE_DIR}
        BINARY_DIR ${CMAKE_BINARY_DIR}/${name}
        CMAKE_ARGS -DSIZEGUARD_EXTRA_BUILDS=OFF -DSIZEGUARD_NET_SECONDS=${SIZEGUARD_NET_SECONDS}
            -DSIZEGUARD_EXAMINE_SECONDS=${SIZEGUARD_EXAMINE_SECONDS} ${ARGN}
        INSTALL_COMMAND ""
        BUILD_ALWAYS ON
        USES_TERMINAL_CONFIGURE ON
        USES_TERMINAL_BUILD ON)
    set(labels logic host)
    execute_process(COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/end_to_end.py --list ${host}
        OUTPUT_VARIABLE scenarios OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    string(REPLACE "\n" ";" scenarios "${scenarios}")
    foreach(scenario IN LISTS scenarios)
        list(APPEND labels end_to_end.${scenario})
    endforeach()
    foreach(label IN LISTS labels)
        add_test(NAME ${name}/${label}
            COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${CMAKE_BINARY_DIR}/${name}
                -L ^${label}$ --output-on-failure --no-tests=error)
        set_tests_properties(${name}/${label} PROPERTIES TIMEOUT 300)
    endforeach()
endfunction()

sizeguard_sub_build(sanitized posix -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSIZEGUARD_SANITIZE=ON)

# What the Windows part needs, as apt-get names it. The 32-bit Wine loader
# is run once: a machine that cannot run 32-bit programs falls back to a
# 64-bit build under wine64.
set(missing)
find_program(MINGW_I686 i686-w64-mingw32-g++-posix)
find_program(WINE wine)
if(NOT MINGW_I686)
    list(APPEND missing g++-mingw-w64-i686-posix)
endif()
if(NOT EXISTS /usr/src/googletest)
    list(APPEND missing googletest)
endif()
if(NOT WINE)
    list(APPEND missing wine)
endif()
set(arch i686)
execute_process(COMMAND /usr/lib/wine/wine --version RESULT_VARIABLE wine32_fails
    OUTPUT_QUIET ERROR_QUIET)
if(wine32_fails)
    find_program(MINGW_X86_64 x86_64-w64-mingw32-g++-posix)
    find_program(WINE64 wine64 PATHS /usr/lib/wine)
    # Some kernels run no 32-bit programs at all (no IA-32 emulation): CI
    # too then tests the same sources as a 64-bit build, and says so.
    if(NOT EXISTS /usr/lib/wine/wine OR NOT MINGW_X86_64 OR NOT WINE64)
        list(APPEND missing wine32:i386)
    else()
        set(arch x86_64)
        message(STATUS "windows: 32-bit programs do not run here: testing a 64-bit build under wine64")
    endif()
endif()

if(NOT missing)
    sizeguard_sub_build(windows windows --toolchain ${PROJECT_SOURCE_DIR}/cmake/mingw-${arch}.cmake
        -DCMAKE_BUILD_TYPE=Release)
    return()
endif()
list(JOIN missing " " missing)
set(why "windows: skipped: apt-get install ${missing}")
if(missing MATCHES ":i386")
    string(APPEND why " (after dpkg --add-architecture i386)")
endif()
if(DEFINED ENV{CI})
    message(FATAL_ERROR "CI must run the Windows tests. ${why}")
endif()
message(STATUS ${why})
add_test(NAME ${why} COMMAND sh -c "echo '${why}'; exit 77")
set_tests_properties(${why} PROPERTIES SKIP_RETURN_CODE 77)
