# A 64-bit Windows build, only for testing on machines that cannot run
# 32-bit programs: its tests run under wine64.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
find_program(WINE64 wine64 PATHS /usr/lib/wine)
if(WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE64})
endif()
