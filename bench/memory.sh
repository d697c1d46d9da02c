#!/bin/sh
# Resident memory, threads and CPU of the real program watching 1 and 150
# files at Interval 1, beside the shell loop a person would write.
# Usage: bench/memory.sh PROGRAM [SECONDS]   (PROGRAM: build/sizeguard)
set -eu
program=$(realpath "$1")
seconds=${2:-30}
ticks=$(getconf CLK_TCK)

# figures PID: resident kB, threads, CPU seconds of it and its waited children
figures() {
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$1/status")
    threads=$(awk '/^Threads/ {print $2}' "/proc/$1/status")
    cpu=$(awk -v t="$ticks" '{ sub(/.*\) /, ""); print ($12 + $13 + $14 + $15) / t }' "/proc/$1/stat")
    echo "$rss $threads $cpu"
}

measure() {  # measure NAME COMMAND...
    name=$1; shift
    "$@" & pid=$!
    sleep "$seconds"
    set -- $(figures $pid)
    kill $pid; wait $pid 2>/dev/null || true
    printf '%-22s %8s kB %3s thread(s) %7.2f s CPU %6.3f %% of a core\n' \
        "$name" "$1" "$2" "$3" "$(awk -v c="$3" -v s="$seconds" 'BEGIN { print c * 100 / s }')"
}

for n in 1 150; do
    dir=$(mktemp -d)
    cp "$program" "$dir/sizeguard"
    targets=
    i=0
    while [ $i -lt $n ]; do echo x > "$dir/f$i"; targets="${targets}f$i*"; i=$((i + 1)); done
    printf '[General]\nTargetFile=%s\nNetSendAdr=nobody\nInterval=1\n' "$targets" > "$dir/Sizeguard.ini"
    (cd "$dir" && measure "sizeguard, $n file(s)" ./sizeguard)
    (cd "$dir" && measure "shell loop, $n file(s)" sh -c \
        'while :; do for f in f*; do stat -c %s "$f"; done > /dev/null; sleep 1; done')
    rm -rf "$dir"
done
