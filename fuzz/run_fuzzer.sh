#!/bin/sh
# run_fuzzer.sh FUZZER SECONDS DIR...: runs one target, saying when it starts,
# how far it got every 10 s, and its run count when it ends.
set -u
fuzzer=$1
seconds=$2
shift 2
name=$(basename "$fuzzer")
log=$(mktemp)
trap 'rm -f "$log"' EXIT

echo "$name: starts, $seconds s"
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$@" >"$log" 2>&1 &
pid=$!
elapsed=0
while kill -0 "$pid" 2>/dev/null; do
    sleep 1
    elapsed=$((elapsed + 1))
    [ $((elapsed % 10)) -ne 0 ] || echo "$name: $(grep -a '^#[0-9]' "$log" | tail -n 1)"
done
wait "$pid"
status=$?
[ "$status" -eq 0 ] || cat "$log"
echo "$name: ends with status $status: $(grep -a '^Done' "$log")"
exit "$status"
