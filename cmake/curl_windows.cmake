# libcurl for the Windows programs, from Debian's curl source with Debian's
# patches (./packages.sh test fetches it): static, on Schannel, http(s) and
# smtp(s) only, built once per version and architecture outside every build tree.
set(SIZEGUARD_CURL_SOURCE /var/cache/sizeguard/curl CACHE PATH
    "Debian's curl source, as packaging/windows/fetch_curl.sh leaves it")
set(SIZEGUARD_CURL_CACHE $ENV{HOME}/.cache/sizeguard CACHE PATH
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
    set(disabled ALTSVC COOKIES DICT DOH FILE FTP GOPHER HSTS IMAP LDAP LDAPS MQTT NETRC POP3
        RTSP SMB TELNET TFTP)
    list(TRANSFORM disabled REPLACE .+ -DCURL_DISABLE_\\0=ON)
    set(off BUILD_SHARED_LIBS BUILD_CURL_EXE BUILD_TESTING ENABLE_MANUAL CURL_USE_OPENSSL
        CURL_USE_LIBSSH2 CURL_USE_LIBPSL USE_LIBIDN2 CURL_ZLIB ENABLE_UNIX_SOCKETS PICKY_COMPILER)
    list(TRANSFORM off REPLACE .+ -D\\0=OFF)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -S ${curl_source} -B ${curl_build} -G ${CMAKE_GENERATOR}
            --toolchain ${CMAKE_TOOLCHAIN_FILE} -DMINGW_ARCH=${MINGW_ARCH} -DCMAKE_BUILD_TYPE=Release
            -DCMAKE_INSTALL_PREFIX=${curl_prefix} -DCURL_USE_SCHANNEL=ON ${disabled} ${off}
        COMMAND_ECHO NONE OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${curl_build} -j 2 OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${curl_build} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE ${curl_build})
endif()
file(LOCK ${curl_prefix}.lock RELEASE)
find_package(CURL CONFIG REQUIRED PATHS ${curl_prefix} NO_DEFAULT_PATH)
