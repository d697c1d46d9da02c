# Tests of the Windows build. The 32-bit product cannot run on these
# machines: it is only checked to be what it should be. The 64-bit build
# runs under wine64.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_test(NAME pe32_gui_program
        COMMAND ${CMAKE_OBJDUMP} -p $<TARGET_FILE:sizeguard>)
    set_tests_properties(pe32_gui_program PROPERTIES
        PASS_REGULAR_EXPRESSION "Magic[ \t]+010b[ \t]+\\(PE32\\).*Subsystem[ \t]+00000002[ \t]+\\(Windows GUI\\)")
    return()
endif()

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(FATAL_ERROR "wine64 is needed to run the Windows tests")
endif()

# Debian ships GoogleTest as sources: build it with the cross compiler.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(logic_tests
    platform/fake_platform.cpp
    settings/settings_test.cpp
    startup/main_test.cpp
    watch/watch_test.cpp)
target_include_directories(logic_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(logic_tests PRIVATE sizeguard_logic gtest_main)

# Our readers of the INI format and of command lines, next to Windows' own.
add_executable(windows_differential_tests platform/windows_differential_test.cpp)
target_include_directories(windows_differential_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(windows_differential_tests PRIVATE gtest_main)

# Appends its arguments to "<its name>.calls" beside it.
add_executable(recorder platform/windows_recorder.cpp)

set(wine_prefix ${CMAKE_CURRENT_BINARY_DIR}/wineprefix)
add_test(NAME wine_prefix COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init)
add_test(NAME logic_tests COMMAND logic_tests)
add_test(NAME windows_differential_tests COMMAND windows_differential_tests)
add_test(NAME windows_end_to_end
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/windows_end_to_end.sh
        ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:sizeguard>
        $<TARGET_FILE:Net> $<TARGET_FILE:recorder>)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(logic_tests windows_differential_tests windows_end_to_end
    PROPERTIES FIXTURES_REQUIRED wine)
set_tests_properties(wine_prefix logic_tests windows_differential_tests windows_end_to_end
    PROPERTIES ENVIRONMENT "WINEPREFIX=${wine_prefix};WINEDEBUG=-all" TIMEOUT 120)
