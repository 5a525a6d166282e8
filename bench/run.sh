#!/usr/bin/env bash
# Measures ORVcontrol against a bare Qt window of the same shape (bench/baseline.cpp): start-up,
# resident memory and idle CPU under a private Xvfb, then connecting over the simulated ORV.
# Prints every figure as a name: value line and rewrites the results block of BENCHMARKS.md.
#
# Environment: ORV_BENCH_RUNS (start-up runs of each program, default 15), ORV_BENCH_IDLE_RUNS
# (default 7) and ORV_BENCH_IDLE_S (seconds per idle run, default 20), ORV_BENCH_CONNECT_RUNS
# (default 15), ORV_BENCH_BUILD_DIR (default build-bench), ORV_BENCH_NO_WRITE=1 to leave
# BENCHMARKS.md alone.
#
# Start-up is timed from outside, the programs unchanged: bench_mapwatch subscribes to map
# events on the root window, forks, execs the program and takes the time at which the X server
# reports its first top-level window mapped (and so viewable: there is no window manager).
# Resident memory is VmRSS a second later; idle CPU is the CPU time of all the process's threads
# over the next ORV_BENCH_IDLE_S seconds. The programs take turns (A B C ..., each round starting
# one further along), so a drift of the machine touches them all alike.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${ORV_BENCH_RUNS:-15}
idle_runs=${ORV_BENCH_IDLE_RUNS:-7}
idle_s=${ORV_BENCH_IDLE_S:-20}
connect_runs=${ORV_BENCH_CONNECT_RUNS:-15}
build=${ORV_BENCH_BUILD_DIR:-$root/build-bench}

"$root/scripts/deps.sh" build qt5 bench
echo "building Release into $build" >&2
(cd "$root" && cmake --preset bench -B "$(realpath -m "$build")") >/dev/null
cmake --build "$build" --parallel "$(nproc)" \
    --target orvcontrol bench_baseline bench_mapwatch bench_connect >/dev/null

workdir=$(mktemp -d)
cleanup() {
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$workdir"
}
trap cleanup EXIT
# shellcheck source=../scripts/lib/x11.sh
. "$root/scripts/lib/x11.sh"
# shellcheck source=lib.sh
. "$root/bench/lib.sh"
start_xvfb "$workdir" 1024x768
# The program sheds two costs unless these are set; the figures are for a user who set neither.
unset QT_XCB_GL_INTEGRATION DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY WAYLAND_SOCKET QT_QPA_PLATFORM \
    XDG_SESSION_TYPE

program=$build/orvcontrol
baseline=$build/bench/bench_baseline
mapwatch=$build/bench/bench_mapwatch

# The programs measured for start-up and memory: label, then the command (with env settings).
labels=(program baseline program_glx program_autolaunch program_unshed program_silent_wayland)
commands=(
    "$program"
    "$baseline"
    "env QT_XCB_GL_INTEGRATION=xcb_glx $program"
    "env DBUS_SESSION_BUS_ADDRESS=autolaunch: $program"
    "env QT_XCB_GL_INTEGRATION=xcb_glx DBUS_SESSION_BUS_ADDRESS=autolaunch: $program"
    "$program"
)
# bench_mapwatch's options for each: a Wayland socket that never answers, beside the X server.
options=("" "" "" "" "" "--silent-wayland $workdir/silent-wayland")

# measure <label> <mapwatch options> -- <command>: one run, appended to $workdir/<label> as
# name value pairs on one line.
measure() {
    local label=$1
    shift
    if ! "$mapwatch" "$@" >"$workdir/run" 2>>"$workdir/stderr"; then
        echo "run.sh: measuring $label failed:" >&2
        tail -5 "$workdir/stderr" >&2
        exit 1
    fi
    awk '{sub(":", ""); printf "%s %s ", $1, $2} END {print ""}' "$workdir/run" \
        >>"$workdir/$label"
}


declare -A median q1 q3 min max
# report <name> <label> <field> [scale]: prints the figure and keeps it for the table.
report() {
    local key="$1.$2" s
    s=$(field "$workdir/$2" "$3" | awk -v k="${4:-1}" '{print $1 * k}' | stats)
    [ -n "$s" ] || { echo "run.sh: no $3 for $2" >&2; cat "$workdir/stderr" >&2; exit 1; }
    read -r "median[$key]" "q1[$key]" "q3[$key]" "min[$key]" "max[$key]" <<<"$s"
    echo "$key: ${median[$key]}"
    echo "$key.q1: ${q1[$key]}"
    echo "$key.q3: ${q3[$key]}"
    echo "$key.min: ${min[$key]}"
    echo "$key.max: ${max[$key]}"
}

echo "start-up and memory: $runs rounds of ${#labels[@]} programs" >&2
for i in "${!labels[@]}"; do # once each, unmeasured, to fill the page cache
    measure warmup --settle 200 ${options[$i]} -- ${commands[$i]}
done
for round in $(seq 0 $((runs - 1))); do
    for k in $(seq 0 $((${#labels[@]} - 1))); do
        i=$(((round + k) % ${#labels[@]}))
        measure "${labels[$i]}" ${options[$i]} -- ${commands[$i]}
    done
done
for label in "${labels[@]}"; do
    report startup_ms "$label" startup_ms
    report startup_cpu_ms "$label" startup_cpu_ms
    report rss_mib "$label" rss_kb 0.0009765625
done

idle_labels=(idle_program idle_baseline idle_program_glx)
idle_commands=(
    "$program"
    "$baseline --enumerate"
    "env QT_XCB_GL_INTEGRATION=xcb_glx $program"
)
echo "idle CPU: $idle_runs rounds of ${#idle_labels[@]} programs, $idle_s s each, no ORV" >&2
for round in $(seq 0 $((idle_runs - 1))); do
    for k in $(seq 0 $((${#idle_labels[@]} - 1))); do
        i=$(((round + k) % ${#idle_labels[@]}))
        measure "${idle_labels[$i]}" --idle "$idle_s" -- ${idle_commands[$i]}
    done
done
for label in "${idle_labels[@]}"; do
    report idle_cpu_percent "$label" idle_cpu_percent_ns
    report idle_cpu_percent_ticks "$label" idle_cpu_percent
done

echo "connecting over the simulated ORV: $connect_runs runs" >&2
QT_QPA_PLATFORM=offscreen "$build/bench/bench_connect" "$connect_runs" 2>>"$workdir/stderr" \
    >"$workdir/connect"
cat "$workdir/connect"
connect() { awk -v name="$1:" '$1 == name {print $2}' "$workdir/connect"; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
# verdict <value> <limit>: met when value <= limit.
verdict() { awk -v a="$1" -v b="$2" 'BEGIN {print (a <= b) ? "met" : "**missed**"}'; }
# range <key> [decimals]: median (min–max); iqr <key> [decimals]: q1–q3
range() { awk -v d="${2:-1}" -v m="${median[$1]}" -v a="${min[$1]}" -v b="${max[$1]}" \
    'BEGIN {printf "%.*f (%.*f–%.*f)", d, m, d, a, d, b}'; }
iqr() { awk -v d="${2:-1}" -v a="${q1[$1]}" -v b="${q3[$1]}" 'BEGIN {printf "%.*f–%.*f", d, a, d, b}'; }

startup_ratio=$(ratio "${median[startup_ms.program]}" "${median[startup_ms.baseline]}")
cpu_ratio=$(ratio "${median[startup_cpu_ms.program]}" "${median[startup_cpu_ms.baseline]}")
rss_ratio=$(ratio "${median[rss_mib.program]}" "${median[rss_mib.baseline]}")
idle_ratio=$(ratio "${median[idle_cpu_percent.idle_program]}" \
    "${median[idle_cpu_percent.idle_baseline]}")
echo "startup_ratio: $startup_ratio"
echo "startup_cpu_ratio: $cpu_ratio"
echo "rss_ratio: $rss_ratio"
echo "idle_cpu_ratio: $idle_ratio"

[ "${ORV_BENCH_NO_WRITE:-}" = 1 ] && exit 0

cpu=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)
qt=$(pkg-config --modversion Qt5Core)
hidapi=$(pkg-config --modversion hidapi-hidraw)
connected=$(connect plug_to_connected_ms)
last=$(connect plug_to_last_answer_applied_ms)
row() { # label: the start-up table's row for one program
    echo "| $1 | $(range "startup_ms.$2") | $(iqr "startup_ms.$2") |" \
        "$(range "startup_cpu_ms.$2") | $(range "rss_mib.$2") |"
}
block=$workdir/block
cat >"$block" <<EOF
<!-- results: written by bench/run.sh; edit outside this block -->
Measured $(date -u +%F) on $cpu, $(nproc) cores, Linux $(uname -r), Qt $qt, hidapi $hidapi,
Xvfb 1024×768×24 (a private server, no window manager), Release build. Medians; ranges are
min–max over the runs, IQR the middle half. $runs runs of each program for start-up and memory,
$idle_runs runs of $idle_s s each for idle CPU, $connect_runs for the connection.

| Figure | ORVcontrol | Baseline | Ratio | Target | Result | Stretch (≤ 0.6×) |
| --- | --- | --- | --- | --- | --- | --- |
| Start-up, exec to window mapped (ms) | $(range startup_ms.program) | $(range startup_ms.baseline) | $startup_ratio | ≤ 1.10× | $(verdict "$startup_ratio" 1.10) | $(verdict "$startup_ratio" 0.6) |
| CPU used by then (ms) | $(range startup_cpu_ms.program) | $(range startup_cpu_ms.baseline) | $cpu_ratio | — | — | — |
| Resident memory 1 s after (MiB) | $(range rss_mib.program) | $(range rss_mib.baseline) | $rss_ratio | ≤ 1.15× | $(verdict "$rss_ratio" 1.15) | $(verdict "$rss_ratio" 0.6) |
| Idle CPU, no ORV (% of one core) | $(range idle_cpu_percent.idle_program 3) | $(range idle_cpu_percent.idle_baseline 3) | $idle_ratio | ≤ 1.10× and < 0.5 % | $(verdict "$idle_ratio" 1.10), $(verdict "${median[idle_cpu_percent.idle_program]}" 0.5) | — |
| Idle CPU, with \`QT_XCB_GL_INTEGRATION=xcb_glx\` (%) | $(range idle_cpu_percent.idle_program_glx 3) | — | — | — | — | — |
| Idle CPU from /proc/PID/stat ticks (%) | $(range idle_cpu_percent_ticks.idle_program 3) | $(range idle_cpu_percent_ticks.idle_baseline 3) | — | — | — | — |
| Plug to connected (ms) | $connected ($(connect plug_to_connected_ms_min)–$(connect plug_to_connected_ms_max)) | — | — | ≤ 250 | $(verdict "$connected" 250) | — |
| Plug to last of 15 answers applied (ms) | $last ($(connect plug_to_last_answer_applied_ms_min)–$(connect plug_to_last_answer_applied_ms_max)) | — | — | ≤ 1650 | $(verdict "$last" 1650) | — |

The idle baseline runs its \`--enumerate\` loop; the other baseline figures are for the bare
window. Start-up of each variant of the program (what each shed cost saves):

| Program | Start-up (ms) | Start-up IQR (ms) | CPU by then (ms) | Resident (MiB) |
| --- | --- | --- | --- | --- |
$(row "ORVcontrol as shipped" program)
$(row "… with \`QT_XCB_GL_INTEGRATION=xcb_glx\` (Qt's default)" program_glx)
$(row "… with \`DBUS_SESSION_BUS_ADDRESS=autolaunch:\` (libdbus's default)" program_autolaunch)
$(row "… with both (nothing shed)" program_unshed)
$(row "… with \`WAYLAND_DISPLAY\` naming a compositor that never answers" program_silent_wayland)
$(row "Baseline, default-configured" baseline)
<!-- end of results -->
EOF
out=$root/BENCHMARKS.md
write_block "$out" results "$block"
echo "wrote the results into $out" >&2
