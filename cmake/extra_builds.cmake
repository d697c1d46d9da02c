# Further builds of the same sources, tested by this build's test run: the
# suite under the sanitizers, and the Windows program with its tests under
# Wine. They build in the console pool, so their output shows as it comes,
# and each group of their tests is a test here, so that no step is silent
# for long.
include(ExternalProject)
function(sizeguard_sub_build name host)  # ARGN: its cache settings
    ExternalProject_Add(${name} SOURCE_DIR ${PROJECT_SOURCE_DIR} BINARY_DIR ${CMAKE_BINARY_DIR}/${name}
        CMAKE_ARGS -DSIZEGUARD_EXTRA_BUILDS=OFF -DSIZEGUARD_NET_SECONDS=${SIZEGUARD_NET_SECONDS}
            -DSIZEGUARD_EXAMINE_SECONDS=${SIZEGUARD_EXAMINE_SECONDS} ${ARGN}
        INSTALL_COMMAND "" BUILD_ALWAYS ON USES_TERMINAL_CONFIGURE ON USES_TERMINAL_BUILD ON)
    execute_process(COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/end_to_end.py --list ${host}
        OUTPUT_VARIABLE scenarios OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    list(TRANSFORM scenarios PREPEND end_to_end.)
    foreach(label logic host ${scenarios})
        add_test(NAME ${name}/${label}
            COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${CMAKE_BINARY_DIR}/${name}
                -L ^${label}$ --output-on-failure --no-tests=error)
        set_tests_properties(${name}/${label} PROPERTIES TIMEOUT 300)
    endforeach()
endfunction()
sizeguard_sub_build(sanitized posix -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSIZEGUARD_SANITIZE=ON)
# The 32-bit Windows program under 32-bit Wine; where the kernel runs no
# 32-bit programs at all (no IA-32 emulation), the same sources as a 64-bit
# build under wine64, said as such.
execute_process(COMMAND /usr/lib/wine/wine --version RESULT_VARIABLE no_wine32 OUTPUT_QUIET ERROR_QUIET)
set(arch i686)
set(wine wine)
if(no_wine32)
    set(arch x86_64)
    set(wine wine64)
endif()
find_program(WINDOWS_WINE ${wine} PATHS /usr/lib/wine)
find_program(WINDOWS_CXX ${arch}-w64-mingw32-g++-posix)
if(WINDOWS_WINE AND WINDOWS_CXX AND EXISTS /usr/src/googletest)
    if(no_wine32)
        message(STATUS "windows: 32-bit programs do not run here: testing a 64-bit build under wine64")
    endif()
    sizeguard_sub_build(windows windows --toolchain ${PROJECT_SOURCE_DIR}/cmake/mingw.cmake
        -DMINGW_ARCH=${arch} -DCMAKE_CROSSCOMPILING_EMULATOR=${WINDOWS_WINE} -DCMAKE_BUILD_TYPE=Release)
elseif(DEFINED ENV{CI})
    message(FATAL_ERROR "CI must run the Windows tests: run ./packages.sh test")
else()
    set(why "windows: skipped: run ./packages.sh test")
    add_test(NAME ${why} COMMAND sh -c "echo '${why}'; exit 77")
    set_tests_properties(${why} PROPERTIES SKIP_RETURN_CODE 77)
endif()
