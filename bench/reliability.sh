#!/bin/sh
# The real program left to itself for a while under three hostile
# messengers: a storm of notices with no pause and a messenger that exits at
# once, the same storm with a messenger that always fails, and a messenger
# that never ends. Every 30 s it samples resident memory, open
# files, threads, and the children alive and left as zombies.
# Usage: bench/reliability.sh PROGRAM [MINUTES]   (PROGRAM: build/sizeguard)
set -eu
program=$(realpath "$1")
minutes=${2:-10}

sample() {  # sample PID SECONDS
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$1/status")
    threads=$(awk '/^Threads/ {print $2}' "/proc/$1/status")
    files=$(ls "/proc/$1/fd" | wc -l)
    kids=$(ps -o stat= --ppid "$1" | awk '{ n++ } /^Z/ { z++ } END { print n + 0, z + 0 }')
    printf '%6s s %8s kB %6s files %3s thread(s) %4s children %4s zombies\n' \
        "$2" "$rss" "$files" "$threads" ${kids}
}

run() {  # run NAME MESSENGER
    dir=$(mktemp -d)
    cp "$program" "$dir/sizeguard"
    printf '#!/bin/sh\n%s\n' "$2" > "$dir/Net"
    chmod 755 "$dir/Net"
    echo steady > "$dir/same.log"
    printf '[General]\nTargetFile=same.log*\nNetSendAdr=a;b;c;\nInterval=0.1\n' > "$dir/Sizeguard.ini"
    echo "$1"
    (cd "$dir" && exec ./sizeguard 2> "$dir/stderr") & pid=$!
    # However this run ends, the watchdog it started ends too.
    trap 'kill $pid 2>/dev/null' EXIT
    elapsed=0
    while [ $elapsed -lt $((minutes * 60)) ]; do
        sleep 30; elapsed=$((elapsed + 30))
        kill -0 $pid 2>/dev/null || { echo "ended early:"; cat "$dir/stderr"; exit 1; }
        sample $pid $elapsed
    done
    children=$(ps -o pid= --ppid $pid || true)  # none alive is no error
    kill $pid; wait $pid 2>/dev/null || true
    kill $children 2>/dev/null || true
    [ -f "$dir/starts" ] && echo "messengers run to the end: $(wc -c < "$dir/starts")"
    echo "standard error: $(wc -l < "$dir/stderr") line(s); first: $(head -n 1 "$dir/stderr")"
    rm -rf "$dir"
}

run "storm: no pause, 3 recipients, a messenger that exits at once" "printf . >> starts"
run "failing: no pause, 3 recipients, a messenger that always fails" "exit 1"
run "hung: no pause, a messenger that never ends" "exec sleep 100000"
