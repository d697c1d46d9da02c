# The Windows program and its tests under Wine, in a prefix of this build's
# own: the logic, our readers and Windows' own held to the tables, and the real
# program end to end, its message boxes read by the probe.
add_executable(probe windows_probe.cpp)
# GUI programs (PE32 when 32-bit) that need no DLL beyond the system's: no
# console window opens for the watchdog, nor for a notice. Both carry their
# version and a manifest that asks for no elevation and names the Windows
# versions they know.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(magic "Magic[ \t]+010b[ \t]+\\(PE32\\).*")
endif()
foreach(program sizeguard Net)
    add_test(NAME needs_only_system_dlls.${program} COMMAND ${CMAKE_OBJDUMP} -p $<TARGET_FILE:${program}>)
    set_tests_properties(needs_only_system_dlls.${program} PROPERTIES LABELS host
        PASS_REGULAR_EXPRESSION "${magic}Subsystem[ \t]+00000002[ \t]+\\(Windows GUI\\)"
        FAIL_REGULAR_EXPRESSION "DLL Name: lib")
    add_test(NAME resources.${program} COMMAND ${CMAKE_RC_COMPILER} -i $<TARGET_FILE:${program}> -O rc)
    set_tests_properties(resources.${program} PROPERTIES LABELS host PASS_REGULAR_EXPRESSION
        "\"ProductName\", \"sizeguard\".*\"ProductVersion\", \"${PROJECT_VERSION}\".*level=\"\"asInvoker\"\".*8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a")
endforeach()
set(wine ${CMAKE_CROSSCOMPILING_EMULATOR})
add_test(NAME wine_prefix COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine_prefix.sh ${wine})
add_test(NAME wine_server_stop COMMAND wineserver -k)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine)
set(wine_tests logic_tests missing_tests policy_tests)
foreach(test IN LISTS wine_tests)
    add_test(NAME ${test} COMMAND ${test})
endforeach()
set_tests_properties(logic_tests PROPERTIES LABELS logic)
set_tests_properties(missing_tests policy_tests PROPERTIES LABELS host)
# Python by its path: a target given as the command would be run under Wine,
# which loses its exit status.
foreach(scenario IN LISTS SIZEGUARD_END_TO_END)
    add_test(NAME end_to_end.${scenario}
        COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/end_to_end.py windows ${wine}
            $<TARGET_FILE:sizeguard> $<TARGET_FILE:Net> $<TARGET_FILE:probe> ${scenario})
    set_tests_properties(end_to_end.${scenario} PROPERTIES LABELS end_to_end.${scenario})
    list(APPEND wine_tests end_to_end.${scenario})
endforeach()
math(EXPR bits "${CMAKE_SIZEOF_VOID_P} * 8")
set_tests_properties(${wine_tests} PROPERTIES FIXTURES_REQUIRED wine)
set_tests_properties(wine_prefix wine_server_stop ${wine_tests} PROPERTIES TIMEOUT 120
    ENVIRONMENT "WINEPREFIX=${CMAKE_CURRENT_BINARY_DIR}/wineprefix;WINEARCH=win${bits};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;SIZEGUARD_NET_SECONDS=${SIZEGUARD_NET_SECONDS};SIZEGUARD_EXAMINE_SECONDS=${SIZEGUARD_EXAMINE_SECONDS}")
