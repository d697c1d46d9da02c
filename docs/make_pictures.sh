#!/bin/sh
# Remakes docs/*.png: the four start-up boxes as a Windows user sees them,
# taken by the tests' probe under Xvfb inside a Wine virtual desktop, so
# that title bars are drawn. Needs xvfb and imagemagick; not part of the tests.
# Usage: docs/make_pictures.sh [WINDOWS-BUILD-FOLDER]   (default build-test/windows)
set -eu
docs=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build-test/windows}" && pwd)
work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
export DISPLAY=:73
Xvfb $DISPLAY -screen 0 520x200x24 -nolisten tcp &
xvfb=$!
trap 'wineserver -k 2>/dev/null; kill $xvfb; rm -rf "$work"' EXIT
wineboot --init
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 520x200 /f
wineserver -w

cp "$build/sizeguard.exe" "$work/"
: > "$work/here.log"
shot() {  # shot NAME SETTINGS
    printf '%b' "$2" > "$work/Sizeguard.ini"
    [ -n "$2" ] || rm "$work/Sizeguard.ini"
    # The probe holds the box open for 3 seconds once it has read it.
    wine "$build/tests/probe.exe" 'Z:'"$(echo "$work" | tr / '\\')"'\sizeguard.exe' 3 > "$work/box" &
    probe=$!
    tries=0
    until grep -qs running= "$work/box" || [ $tries -ge 200 ]; do sleep 0.1; tries=$((tries + 1)); done
    sleep 1  # drawn
    import -window root "$work/shot.png"
    convert "$work/shot.png" -trim +repage "$docs/$1.png"
    wait $probe
    cat "$work/box"
}
cd "$work"
shot no_ini_file ''
shot no_target_file '[General]\r\nNetSendAdr=ops;\r\n'
shot target_does_not_exist '[General]\r\nTargetFile=here.log*C:\\logs\\app.log*\r\n'
shot no_recipients '[General]\r\nTargetFile=here.log*\r\n'
