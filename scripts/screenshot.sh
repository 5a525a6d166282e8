#!/usr/bin/env bash
# Takes pictures of the real window under a private Xvfb.
#
#   scripts/screenshot.sh                 retakes every picture in docs/
#   scripts/screenshot.sh --qt5-qt6       the demo's tabs built against Qt 5 and Qt 6, side by side
#   scripts/screenshot.sh [--demo] [--scale N] [--tab general|intervalometer|lag] OUT.png
#
# --demo runs orvcontrol-demo (the simulated ORV) and waits for it to connect.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORV_BUILD_DIR:-$root/build}

demo=0 scale=1 tab=general out=""
if [ "${1:-}" = --qt5-qt6 ]; then
    "$root/scripts/deps.sh" build screenshot qt5 qt6
    . "$root/scripts/lib/qt.sh"
    shots=$(mktemp -d)
    trap 'rm -rf "$shots"' EXIT
    for qt in 5 6; do
        "$root/scripts/build.sh" --qt$qt --target orvcontrol-demo >/dev/null
    done
    for t in general intervalometer lag; do
        for qt in 5 6; do
            qt_select "$root" --qt$qt
            ORV_SCREENSHOT_READY=1 ORV_BUILD_DIR=$qt_build "$0" --demo --tab "$t" "$shots/qt$qt.png"
        done
        convert "$shots/qt5.png" "$shots/qt6.png" -bordercolor white -border 6x0 +append \
            "$root/docs/qt5-qt6-$t.png"
    done
    exit 0
fi
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

if [ -z "${ORV_SCREENSHOT_READY:-}" ]; then
    "$root/scripts/deps.sh" build screenshot
    "$root/scripts/build.sh" >/dev/null
    export ORV_SCREENSHOT_READY=1
fi

if [ -z "$out" ]; then
    "$0" "$root/docs/screenshot.png"
    for t in general intervalometer lag; do
        "$0" --demo --tab "$t" "$root/docs/demo-$t.png"
    done
    "$0" --demo --scale 2 "$root/docs/demo-general-scale2.png"
    exit 0
fi

workdir=$(mktemp -d)
app="" xvfb=""
trap 'kill $app $xvfb 2>/dev/null; rm -rf "$workdir"' EXIT

. "$root/scripts/lib/x11.sh"
start_xvfb "$workdir" 1024x900
export QT_SCALE_FACTOR="$scale"

if [ "$demo" = 1 ]; then binary=$build/orvcontrol-demo; else binary=$build/orvcontrol; fi
"$binary" &
app=$!
win=$(wait_window)
# The simulated ORV appears after a second and its fifteen answers take about 1.6 s more.
if [ "$demo" = 1 ]; then sleep 3.5; else sleep 0.5; fi

size=$(window_size "$win")
width=${size%x*}
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
echo "wrote $out ($size)"
