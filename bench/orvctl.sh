#!/usr/bin/env bash
# orvctl against the simulated ORV (orvctl-demo, a Release build): how long `status` takes from
# exec to exit, and the CPU `watch` burns while nothing happens. Prints name: value lines and
# rewrites the orvctl block of BENCHMARKS.md.
#
# status: the link reads what has come each 100 ms cycle, as from a real ORV; the simulated one
# answers at once. watch: the demo's simulated ORV runs a three-shot series in its
# first seconds; the CPU time of all threads (schedstat) is taken over ORV_BENCH_IDLE_S seconds
# after ORV_BENCH_SETTLE_S, once it is over.
#
# Environment: ORV_BENCH_RUNS (status runs, default 15), ORV_BENCH_IDLE_RUNS (default 3),
# ORV_BENCH_IDLE_S (default 30), ORV_BENCH_SETTLE_S (default 10), ORV_BENCH_NO_WRITE=1 to leave
# BENCHMARKS.md alone.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${ORV_BENCH_RUNS:-15} idle_runs=${ORV_BENCH_IDLE_RUNS:-3}
idle_s=${ORV_BENCH_IDLE_S:-30} settle_s=${ORV_BENCH_SETTLE_S:-10}
build=$root/build-bench

"$root/scripts/deps.sh" build qt5 bench
echo "building Release into $build" >&2
(cd "$root" && cmake --preset bench -B "$build") >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target orvctl orvctl-demo >/dev/null
. "$root/bench/lib.sh"
demo=$build/orvctl-demo
workdir=$(mktemp -d)
pid=""
trap 'kill $pid 2>/dev/null; rm -rf "$workdir"' EXIT

"$demo" status >/dev/null # unmeasured: the page cache
for _ in $(seq "$runs"); do
    t0=$EPOCHREALTIME
    "$demo" status >/dev/null
    awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN {printf "%.1f\n", (b - a) * 1000}'
done >"$workdir/status"

# cpu_ns: the on-CPU nanoseconds of every thread of $pid so far.
cpu_ns() { cat /proc/"$pid"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {print s + 0}'; }
for _ in $(seq "$idle_runs"); do
    "$demo" watch >/dev/null &
    pid=$!
    sleep "$settle_s"
    [ -r "/proc/$pid/maps" ] && cp "/proc/$pid/maps" "$workdir/maps"
    c0=$(cpu_ns) t0=$EPOCHREALTIME
    sleep "$idle_s"
    c1=$(cpu_ns) t1=$EPOCHREALTIME
    kill -INT "$pid"
    wait "$pid" || { echo "orvctl.sh: watch did not end cleanly on Ctrl+C" >&2; exit 1; }
    awk -v c="$((c1 - c0))" -v a="$t0" -v b="$t1" 'BEGIN {printf "%.4f\n", c / 1e7 / (b - a)}'
done >"$workdir/idle"
pid=""

status_ms=$(stats <"$workdir/status")
idle=$(stats <"$workdir/idle")
size=$(stat -c %s "$build/orvctl")
libs=$(awk '$6 ~ /\.so/ {n = split($6, p, "/"); print p[n]}' "$workdir/maps" | sort -u |
    grep -v '^ld-linux' | tr '\n' ' ')
echo "status_ms: $status_ms (median q1 q3 min max of $runs)"
echo "watch_idle_cpu_percent: $idle (median q1 q3 min max of $idle_runs)"
echo "orvctl_bytes: $size"
echo "watch_libraries: $libs"
[ "${ORV_BENCH_NO_WRITE:-}" = 1 ] && exit 0

block=$workdir/block
{
    echo "<!-- orvctl results: written by bench/orvctl.sh; edit outside this block -->"
    echo "Measured $(date -u +%F), $(nproc) cores, Linux $(uname -r), Qt $(pkg-config --modversion Qt5Core), Release build."
    echo
    echo "| | median | quartiles | range |"
    echo "| --- | --- | --- | --- |"
    set -- $status_ms
    echo "| \`orvctl status\`, exec to exit ($runs runs) | $1 ms | $2–$3 ms | $4–$5 ms |"
    set -- $idle
    echo "| \`orvctl watch\` idle, CPU of one core (${idle_runs} × ${idle_s} s) | $1 % | $2–$3 % | $4–$5 % |"
    echo
    echo "\`orvctl\` is $((size / 1024)) KiB (stripped in the package) and needs" \
        "$(readelf -d "$build/orvctl" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/`\1`/p' | paste -sd' ' | sed 's/` `/`, `/g')." \
        "The libraries \`orvctl-demo watch\` has loaded (the simulated ORV in place of hidapi and libudev):"
    echo "$libs" | tr ' ' '\n' | grep . | sed 's/^/`/; s/$/`/' | paste -sd' ' | sed 's/` `/`, `/g'
    echo "<!-- end of orvctl results -->"
} >"$block"
write_block "$root/BENCHMARKS.md" "orvctl results" "$block" "## orvctl"
echo "wrote the orvctl results into $root/BENCHMARKS.md" >&2
