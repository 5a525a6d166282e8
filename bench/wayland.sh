#!/usr/bin/env bash
# Resident memory and start-up of ORVcontrol on X11 and in Wayland sessions, built against Qt 5
# and against Qt 6, in one interleaved run. Prints name: value lines and rewrites the Wayland
# block of BENCHMARKS.md.
#
# Displays, each private to the run: Xvfb; a session on weston's headless backend, which draws
# no window frames (as GNOME), with its XWayland beside it; the same with Wayland chosen by the
# user (QT_QPA_PLATFORM=wayland), so that Qt draws its own frame; and, where sway is installed,
# a session on sway's headless backend, which draws frames (as KDE Plasma and the wlroots
# compositors). In a session the program chooses its platform as on a desktop: the session's
# variables are set, QT_QPA_PLATFORM is not, and the plugin it loads tells which it took.
# Start-up: on X11 and XWayland, exec to MapNotify (bench_mapwatch); on Wayland, exec to the
# client's first wl_surface.attach in its own protocol log, the moment its window gets content
# and so is mapped. Resident memory: VmRSS one second after that.
#
# Environment: ORV_BENCH_RUNS (rounds, default 9), ORV_BENCH_NO_WRITE=1 to leave
# BENCHMARKS.md alone.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${ORV_BENCH_RUNS:-9}

"$root/scripts/deps.sh" build bench qt5 qt6 test
for preset in bench bench-qt6; do
    build=$root/build-$preset
    echo "building Release ($preset) into $build" >&2
    (cd "$root" && cmake --preset $preset) >/dev/null
    cmake --build "$build" --parallel "$(nproc)" --target orvcontrol bench_mapwatch >/dev/null
done
mapwatch=$root/build-bench/bench/bench_mapwatch

workdir=$(mktemp -d)
xvfb="" weston="" sway="" swaydir=""
cleanup() {
    kill $xvfb $weston $sway 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$workdir" ${swaydir:+"$swaydir"}
}
trap cleanup EXIT
. "$root/scripts/lib/x11.sh"
. "$root/bench/lib.sh"
start_xvfb "$workdir" 1024x768
x11_display=$DISPLAY
unset DISPLAY QT_QPA_PLATFORM QT_XCB_GL_INTEGRATION QT_WAYLAND_DISABLE_WINDOWDECORATION \
    QT_WAYLAND_CLIENT_BUFFER_INTEGRATION DBUS_SESSION_BUS_ADDRESS WAYLAND_DEBUG

mkdir -m 700 "$workdir/weston"
. "$root/scripts/lib/wayland.sh"
start_weston "$workdir/weston" bench --xwayland || exit 1
# weston's XWayland starts on the first client; it lets in only the user who runs weston.
xwayland=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$workdir/weston/weston.log")
[ -n "$xwayland" ] || { echo "wayland.sh: weston offers no XWayland (package xwayland)" >&2; exit 1; }
displays=(x11 weston weston-wayland)
if command -v sway >/dev/null; then
    # sway will not run as root: there it runs as nobody, in a folder of its own beside the
    # private work folder, which nobody may not enter. setpriv execs: $sway is sway itself.
    # No Xwayland: its X server would be open to every local user.
    swaydir=$(mktemp -d)
    printf 'output HEADLESS-1 resolution 1024x768\nxwayland disable\n' >"$swaydir/sway.conf"
    chmod 644 "$swaydir/sway.conf"
    as_user=()
    if [ "$(id -u)" = 0 ]; then
        as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
        chown nobody:nogroup "$swaydir"
    fi
    XDG_RUNTIME_DIR=$swaydir HOME=$swaydir WLR_BACKENDS=headless WLR_RENDERER=pixman \
        WLR_LIBINPUT_NO_DEVICES=1 "${as_user[@]}" sway -c "$swaydir/sway.conf" \
        >"$workdir/sway.log" 2>&1 &
    sway=$!
    for _ in $(seq 100); do [ -S "$swaydir/wayland-1" ] && break; sleep 0.1; done
    if [ -S "$swaydir/wayland-1" ]; then
        displays+=(sway)
    else
        echo "wayland.sh: sway did not start; measuring without it" >&2
    fi
fi

# The environment of each display. sway's XWayland is left off (it would be open to every local
# user): Xvfb stands in for it, and no program should use it there.
declare -A session=(
    [x11]="DISPLAY=$x11_display"
    [weston]="XDG_SESSION_TYPE=wayland XDG_RUNTIME_DIR=$workdir/weston WAYLAND_DISPLAY=bench DISPLAY=$xwayland"
    [weston-wayland]="XDG_RUNTIME_DIR=$workdir/weston WAYLAND_DISPLAY=bench QT_QPA_PLATFORM=wayland"
    [sway]="XDG_SESSION_TYPE=wayland XDG_RUNTIME_DIR=$swaydir WAYLAND_DISPLAY=wayland-1 DISPLAY=$x11_display"
)
binary() { echo "$root/build-bench$([ "$1" = 6 ] && echo -qt6 || true)/orvcontrol"; }

# platform_of <display> <qt>: xcb or wayland, the platform plugin the program loads there.
platform_of() {
    local pid plugin=""
    env ${session[$1]} "$(binary "$2")" >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 100); do
        plugin=$(grep -o 'libq\(xcb\|wayland\)' "/proc/$pid/maps" 2>/dev/null | head -n 1) && break
        sleep 0.05
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    [ -n "$plugin" ] || { echo "wayland.sh: no platform plugin loaded on $1 (Qt $2)" >&2; exit 1; }
    echo "${plugin#libq}"
}

# wayland_run <display> <binary>: startup_ms and rss_kb on one line.
wayland_run() {
    local fifo=$workdir/fifo line t0 t1 pid
    rm -f "$fifo"
    mkfifo "$fifo"
    t0=$EPOCHREALTIME
    env ${session[$1]} WAYLAND_DEBUG=client "$2" 2>"$fifo" >/dev/null &
    pid=$!
    exec 4<"$fifo"
    t1=""
    while IFS= read -r -t 20 line <&4; do
        # wl_surface@N up to libwayland 1.22, wl_surface#N from 1.23 on
        [[ $line == *"-> wl_surface"[@#]*".attach("* ]] && { t1=$EPOCHREALTIME; break; }
    done
    cat <&4 >/dev/null &
    exec 4<&-
    [ -n "$t1" ] || { echo "wayland.sh: $2 showed no window on $1" >&2; kill "$pid"; exit 1; }
    sleep 1
    echo "startup_ms $(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.2f", (b - a) * 1000}')" \
        "rss_kb $(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}
# run <display> <qt>: one measurement, appended to $workdir/<display>-<qt>.
declare -A platform
run() {
    if [ "${platform[$1-$2]}" = xcb ]; then
        env ${session[$1]} "$mapwatch" -- "$(binary "$2")" 2>>"$workdir/stderr" |
            awk '{sub(":", ""); printf "%s %s ", $1, $2} END {print ""}'
    else
        wayland_run "$1" "$(binary "$2")"
    fi >>"$workdir/$1-$2"
}

cases=()
for d in "${displays[@]}"; do cases+=("$d 5" "$d 6"); done
echo "${#cases[@]} cases (${displays[*]}; Qt 5 and 6), $runs rounds" >&2
for c in "${cases[@]}"; do
    platform[${c/ /-}]=$(platform_of $c)
    echo "${c/ /-}.platform: ${platform[${c/ /-}]}"
done
for c in "${cases[@]}"; do run $c >/dev/null; done # unmeasured: the page cache
for c in "${cases[@]}"; do : >"$workdir/${c/ /-}"; done
for round in $(seq 0 $((runs - 1))); do
    for k in $(seq 0 $((${#cases[@]} - 1))); do
        run ${cases[$(((round + k) % ${#cases[@]}))]}
    done
done

# median <case> <field>
median() { field "$workdir/$1" "$2" | stats | cut -d' ' -f1; }
declare -A rss start
for c in "${cases[@]}"; do
    key=${c/ /-}
    rss[$key]=$(median "$key" rss_kb | awk '{printf "%.1f", $1 / 1024}')
    start[$key]=$(median "$key" startup_ms | awk '{printf "%.0f", $1}')
    echo "$key.rss_mib: ${rss[$key]}"
    echo "$key.startup_ms: ${start[$key]}"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
for d in "${displays[@]}"; do
    [ "$d" = x11 ] && continue
    for qt in 5 6; do echo "$d-$qt.rss_ratio_to_x11: $(ratio "${rss[$d-$qt]}" "${rss[x11-$qt]}")"; done
done
[ "${ORV_BENCH_NO_WRITE:-}" = 1 ] && exit 0

row() { # <label> <display>
    local q cells=""
    for q in 5 6; do
        cells+=" ${rss[$2-$q]}"
        [ "$2" = x11 ] || cells+=" ($(ratio "${rss[$2-$q]}" "${rss[x11-$q]}")×, $(
            [ "${platform[$2-$q]}" = xcb ] && echo XWayland || echo Wayland))"
        cells+=" | ${start[$2-$q]} |"
    done
    echo "| $1 |$cells"
}
block=$workdir/block
{
    echo "<!-- wayland results: written by bench/wayland.sh; edit outside this block -->"
    echo "Measured $(date -u +%F), $(nproc) cores, Linux $(uname -r), Qt $(pkg-config --modversion Qt5Core)" \
        "and $(pkg-config --modversion Qt6Core), weston $(weston --version | awk '{print $2}')$(
            [ -n "$sway" ] && echo ", sway $(sway --version | awk '{print $3}')"), Release builds."
    echo "Medians of $runs interleaved rounds; in brackets, resident memory as a multiple of X11's," \
        "and the platform the program took."
    echo
    echo "| Display | Qt 5 resident (MiB) | Qt 5 start-up (ms) | Qt 6 resident (MiB) | Qt 6 start-up (ms) |"
    echo "| --- | --- | --- | --- | --- |"
    row "X11 (Xvfb)" x11
    row "Wayland session, no frames from the compositor (weston, as GNOME)" weston
    row "The same, Wayland chosen by the user: Qt draws the frame" weston-wayland
    [[ " ${displays[*]} " == *" sway "* ]] && row "Wayland session, frames from the compositor (sway, as KDE Plasma)" sway
    echo "<!-- end of wayland results -->"
} >"$block"
out=$root/BENCHMARKS.md
write_block "$out" "wayland results" "$block" "## X11 and Wayland, Qt 5 and Qt 6"
echo "wrote the Wayland results into $out" >&2
