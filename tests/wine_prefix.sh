#!/bin/sh
# The tests' Wine prefix, made once per build: the null graphics driver
# (from the prefix server's next session) makes message boxes real windows
# without a display; Wine's own net.exe is hidden, so a missing messenger
# stays missing. Then the server and the session's processes start here,
# holding no test's output open, until `wineserver -k`.
# Usage: WINEPREFIX=... wine_prefix.sh WINE
set -e
if [ ! -e "$WINEPREFIX/ready" ]; then
    rm -rf "$WINEPREFIX"
    "$1" wineboot --init
    "$1" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
    wineserver -w
    find "$WINEPREFIX/drive_c/windows" -iname net.exe -exec mv {} {}.hidden ';'
    touch "$WINEPREFIX/ready"
fi
wineserver -p 60 </dev/null >/dev/null 2>&1 || true  # one may be running already
"$1" wineboot </dev/null >/dev/null 2>&1
