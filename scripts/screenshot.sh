#!/usr/bin/env bash
# Takes pictures of the real window under a private Xvfb.
#
#   scripts/screenshot.sh                 retakes every picture in docs/
#   scripts/screenshot.sh [--demo] [--scale N] [--tab general|intervalometer|lag] OUT.png
#
# --demo runs orvcontrol-demo (the simulated ORV) and waits for it to connect.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORV_BUILD_DIR:-$root/build}

demo=0 scale=1 tab=general out=""
while [ $# -gt 0 ]; do
    case "$1" in
        --demo) demo=1 ;;
        --scale) scale=$2; shift ;;
        --tab) tab=$2; shift ;;
        -*) echo "screenshot.sh: unknown option $1" >&2; exit 2 ;;
        *) out=$1 ;;
    esac
    shift
done

if [ -z "$out" ]; then
    "$0" "$root/docs/screenshot.png"
    for t in general intervalometer lag; do
        "$0" --demo --tab "$t" "$root/docs/demo-$t.png"
    done
    "$0" --demo --scale 2 "$root/docs/demo-general-scale2.png"
    exit 0
fi

if [ -z "${ORV_SCREENSHOT_READY:-}" ]; then
    "$root/scripts/deps.sh" build screenshot
    "$root/scripts/build.sh" >/dev/null
fi

workdir=$(mktemp -d)
app="" xvfb=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$workdir"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x900x24 -nolisten tcp 3>"$workdir/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$workdir/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$workdir/display")" QT_SCALE_FACTOR="$scale" XDG_RUNTIME_DIR="$workdir"
unset QT_QPA_PLATFORM

if [ "$demo" = 1 ]; then binary=$build/sim/orvcontrol-demo; else binary=$build/orvcontrol; fi
"$binary" &
app=$!
win=""
for _ in $(seq 100); do
    win=$(xwininfo -root -tree 2>/dev/null | awk '/"ORVcontrol v2.4/ {print $1; exit}')
    [ -n "$win" ] && xwininfo -id "$win" | grep -q 'IsViewable' && break
    sleep 0.1
done
[ -n "$win" ] || { echo "screenshot.sh: the window never appeared" >&2; exit 1; }
# The simulated ORV appears after a second and its fifteen answers take about 1.6 s more.
if [ "$demo" = 1 ]; then sleep 3.5; else sleep 0.5; fi

width=$(xwininfo -id "$win" | awk '/Width:/ {print $2}')
case "$tab" in
    general) ;;
    intervalometer | lag)
        # The three tabs, about 110 logical pixels wide each, are centred 28 pixels down.
        offset=0; [ "$tab" = lag ] && offset=110
        xdotool mousemove --window "$win" $((width / 2 + offset * scale)) $((28 * scale)) click 1
        sleep 0.5 ;;
    *) echo "screenshot.sh: unknown tab $tab" >&2; exit 2 ;;
esac

mkdir -p "$(dirname "$out")"
xwd -silent -id "$win" | convert xwd:- "png:$out"
echo "wrote $out ($(xwininfo -id "$win" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'))"
