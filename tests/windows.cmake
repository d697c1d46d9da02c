# The 64-bit Windows build's tests, under wine64 in a prefix of their own.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(FATAL_ERROR "wine64 is needed to run the Windows tests")
endif()

# Windows' own INI reader and command-line splitter, held to our tables.
sizeguard_tests(windows_differential_tests platform/windows_differential_test.cpp)

# A messenger that appends its arguments to "<its name>.calls" beside it.
add_executable(recorder platform/windows_recorder.cpp)

add_test(NAME wine_prefix COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init)
add_test(NAME logic_tests COMMAND logic_tests)
add_test(NAME windows_differential_tests COMMAND windows_differential_tests)
add_test(NAME windows_end_to_end
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/windows_end_to_end.sh
        ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:sizeguard>
        $<TARGET_FILE:Net> $<TARGET_FILE:recorder>)
set(wine_tests logic_tests windows_differential_tests windows_end_to_end)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(${wine_tests} PROPERTIES FIXTURES_REQUIRED wine)
set_tests_properties(wine_prefix ${wine_tests} PROPERTIES TIMEOUT 120 ENVIRONMENT
    "WINEPREFIX=${CMAKE_CURRENT_BINARY_DIR}/wineprefix;WINEDEBUG=-all")
