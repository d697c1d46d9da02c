# libcurl for the Windows programs: built from Debian's curl source (with
# Debian's patches; ./packages.sh test fetches it) as a static library that
# speaks http, https, smtp and smtps through Schannel, and nothing else.
# It is built once per curl version and architecture, in a cache folder
# outside every build tree, and every later build tree reuses it.
set(SIZEGUARD_CURL_SOURCE /var/cache/sizeguard/curl CACHE PATH
    "Debian's curl source, as packaging/windows/fetch_curl.sh leaves it")
if(DEFINED ENV{XDG_CACHE_HOME})
    set(cache_home $ENV{XDG_CACHE_HOME})
else()
    set(cache_home $ENV{HOME}/.cache)
endif()
set(SIZEGUARD_CURL_CACHE ${cache_home}/sizeguard CACHE PATH
    "Where the Windows builds of libcurl are kept, one folder per version")

if(NOT EXISTS ${SIZEGUARD_CURL_SOURCE}/debian/changelog)
    message(FATAL_ERROR "Net.exe is built on Debian's curl source, missing from "
        "${SIZEGUARD_CURL_SOURCE}: run ./packages.sh test (as root)")
endif()
file(REAL_PATH ${SIZEGUARD_CURL_SOURCE} curl_source)
get_filename_component(curl_name ${curl_source} NAME)  # curl-VERSION
string(REGEX REPLACE "^curl-" "" SIZEGUARD_CURL_VERSION ${curl_name})
set(curl_prefix ${SIZEGUARD_CURL_CACHE}/${curl_name}-${CMAKE_SYSTEM_PROCESSOR})

file(MAKE_DIRECTORY ${SIZEGUARD_CURL_CACHE})
file(LOCK ${curl_prefix}.lock GUARD FILE)  # two builds at once make it once
if(NOT EXISTS ${curl_prefix}/lib/cmake/CURL/CURLConfig.cmake)
    message(STATUS "Building libcurl ${SIZEGUARD_CURL_VERSION} for Windows into ${curl_prefix}")
    set(curl_build ${curl_prefix}.build)
    file(REMOVE_RECURSE ${curl_build})
    set(off)
    foreach(option CURL_DISABLE_ALTSVC CURL_DISABLE_COOKIES CURL_DISABLE_DICT CURL_DISABLE_DOH
            CURL_DISABLE_FILE CURL_DISABLE_FTP CURL_DISABLE_GOPHER CURL_DISABLE_HSTS
            CURL_DISABLE_IMAP CURL_DISABLE_LDAP CURL_DISABLE_LDAPS CURL_DISABLE_MQTT
            CURL_DISABLE_NETRC CURL_DISABLE_POP3 CURL_DISABLE_RTSP CURL_DISABLE_SMB
            CURL_DISABLE_TELNET CURL_DISABLE_TFTP CURL_USE_SCHANNEL)
        list(APPEND off -D${option}=ON)
    endforeach()
    foreach(option BUILD_SHARED_LIBS BUILD_CURL_EXE BUILD_TESTING ENABLE_MANUAL CURL_USE_OPENSSL
            CURL_USE_LIBSSH2 CURL_USE_LIBPSL USE_LIBIDN2 CURL_ZLIB ENABLE_UNIX_SOCKETS
            PICKY_COMPILER)
        list(APPEND off -D${option}=OFF)
    endforeach()
    execute_process(
        COMMAND ${CMAKE_COMMAND} -S ${curl_source} -B ${curl_build} -G ${CMAKE_GENERATOR}
            --toolchain ${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
            -DCMAKE_INSTALL_PREFIX=${curl_prefix} ${off}
        COMMAND_ECHO NONE OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${curl_build} -j 2
        OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${curl_build}
        OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE ${curl_build})
endif()
file(LOCK ${curl_prefix}.lock RELEASE)

find_package(CURL CONFIG REQUIRED PATHS ${curl_prefix} NO_DEFAULT_PATH)
# Its licence goes into the zip beside the programs.
set(SIZEGUARD_CURL_COPYING ${curl_source}/COPYING)
