#!/bin/sh
# Memory, threads and CPU of the real program watching 1 and 150 files at
# Interval 1, beside the floor (a static C program that only sleeps, same
# compiler) and the shell loop a person would write.
# Usage: bench/memory.sh PROGRAM [SECONDS]   (PROGRAM: build/sizeguard)
set -eu
program=$(realpath "$1")
seconds=${2:-30}
ticks=$(getconf CLK_TCK)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '#include <unistd.h>\nint main(void) { for (;;) sleep(1); }\n' > "$work/floor.c"
cc -Os -static -s "$work/floor.c" -o "$work/floor"

# figures PID: Pss, RSS and anonymous (its own data) kB, threads, CPU seconds
figures() {
    awk '/^Pss:/ {p = $2} /^Rss:/ {r = $2} /^Anonymous:/ {d = $2} END {printf "%s %s %s ", p, r, d}' \
        "/proc/$1/smaps_rollup"
    awk '/^Threads/ {printf "%s ", $2}' "/proc/$1/status"
    awk -v t="$ticks" '{ sub(/.*\) /, ""); print ($12 + $13 + $14 + $15) / t }' "/proc/$1/stat"
}

measure() {  # measure NAME COMMAND...
    name=$1; shift
    "$@" & pid=$!
    sleep "$seconds"
    set -- $(figures $pid)
    kill $pid; wait $pid 2>/dev/null || true
    printf '%-22s Pss %5s kB  RSS %5s kB  anonymous %4s kB  %s thread(s)  %5.2f s CPU\n' \
        "$name" "$1" "$2" "$3" "$4" "$5"
}

measure "floor (static C)" "$work/floor"
for n in 1 150; do
    dir=$work/$n
    mkdir "$dir"
    cp "$program" "$dir/sizeguard"
    targets=
    i=0
    while [ $i -lt $n ]; do echo x > "$dir/f$i"; targets="${targets}f$i*"; i=$((i + 1)); done
    printf '[General]\nTargetFile=%s\nNetSendAdr=nobody\nInterval=1\n' "$targets" > "$dir/Sizeguard.ini"
    (cd "$dir" && measure "sizeguard, $n file(s)" ./sizeguard)
    (cd "$dir" && measure "shell loop, $n file(s)" sh -c \
        'while :; do for f in f*; do stat -c %s "$f"; done > /dev/null; sleep 1; done')
done
