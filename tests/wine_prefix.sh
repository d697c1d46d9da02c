#!/bin/sh
# The tests' own Wine prefix, made once per build folder: message boxes
# become real windows without any display (the null graphics driver, which
# takes effect from the next session of the prefix's server), and Wine's own
# net.exe is hidden, so that a missing messenger stays missing. Then a server
# and the session's own processes, started here with no test's output to
# hold open, serve the tests until `wine_prefix.sh stop`.
# Usage: WINEPREFIX=... wine_prefix.sh WINE | stop
set -e
if [ "$1" = stop ]; then
    exec wineserver -k
fi
if [ ! -e "$WINEPREFIX/ready" ]; then
    rm -rf "$WINEPREFIX"
    "$1" wineboot --init
    "$1" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
    wineserver -w
    find "$WINEPREFIX/drive_c/windows" -iname net.exe -exec mv {} {}.hidden ';'
    touch "$WINEPREFIX/ready"
fi
wineserver -p 60 </dev/null >/dev/null 2>&1
"$1" wineboot </dev/null >/dev/null 2>&1
