#!/bin/sh
# The Windows programs under wine64: sizeguard.exe with a recording Net.exe
# beside it, and Net.exe with a recording msg.exe beside it.
# Usage: windows_end_to_end.sh WINE64 sizeguard.exe Net.exe recorder.exe
set -u
wine=$1 program=$2 net=$3 recorder=$4
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0
check() {  # check WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        printf 'FAIL: %s\n expected: %s\n actual:   %s\n' "$1" "$2" "$3"
        failed=1
    fi
}
# Waits until FILE holds N lines, 30 seconds at most.
wait_lines() {
    tries=0
    while [ "$(cat "$1" 2>/dev/null | wc -l)" -lt "$2" ] && [ $tries -lt 300 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
}

cp "$program" "$dir/sizeguard.exe"
cp "$recorder" "$dir/Net.exe"
cd "$dir"

# Without a display the message box returns at once.
"$wine" sizeguard.exe
check "status without settings" 1 "$?"
check "commands without settings" "" "$(cat Net.calls 2>/dev/null)"

printf '[General]\r\nTargetFile=same.log*empty.log*\r\nNetSendAdr=ops;dev;\r\nInterval=1\r\nSendMessage=Srv "1"\r\n' > Sizeguard.ini
printf 'steady' > same.log
: > empty.log
"$wine" sizeguard.exe &
watcher=$!
wait_lines Net.calls 6
kill $watcher
wait $watcher 2>/dev/null
check "calls of two passes" "[Send][dev][Srv 1 [ Filesize is NULL empty.log ]]
[Send][dev][Srv 1 [ Filesize is NULL empty.log ]]
[Send][dev][Srv 1 [ No Changes on file same.log ]]
[Send][ops][Srv 1 [ Filesize is NULL empty.log ]]
[Send][ops][Srv 1 [ Filesize is NULL empty.log ]]
[Send][ops][Srv 1 [ No Changes on file same.log ]]" "$(head -n 6 Net.calls | sort)"

# Net.exe hands the text to msg.exe as one argument, unchanged.
mkdir messenger
cp "$net" messenger/Net.exe
"$wine" messenger/Net.exe Send ops 'text'
check "without msg.exe" 1 "$?"
cp "$recorder" messenger/msg.exe
text='a "quoted" text \ with\\ back\slashes\ and $(x) `y`; '"'z'"
"$wine" messenger/Net.exe sEnD '*' "$text"
check "msg.exe status" 0 "$?"
"$wine" messenger/Net.exe Send ops split text
"$wine" messenger/Net.exe Receive ops text 2>/dev/null
check "wrong verb" 2 "$?"
check "msg.exe calls" "[*][$text]
[ops][split text]" "$(cat messenger/msg.calls)"

[ $failed = 0 ] && echo "windows end to end: passed"
exit $failed
