#!/usr/bin/env bash
# On a real X server set to 144 dpi (Xft.dpi, as desktops set it), a factor of 1.5 that must
# round to 2 with Qt 5 and Qt 6 alike: a window twice the size with everything in proportion,
# so that the scale-2 picture shrunk by half looks like the scale-1 picture.
# Usage: hidpi_x11.sh <orvcontrol binary>
set -euo pipefail
binary=$1
work=$(mktemp -d)
xvfb="" app=""
trap 'kill $app $xvfb 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; sed 's/^/Xvfb: /' "$work/xvfb.log" >&2; exit 1; }

. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/x11.sh"
start_xvfb "$work" 1280x1024

# shoot <dpi> <png>: prints the window's size as WxH (in a subshell: it stops its own program)
shoot() {
    echo "Xft.dpi: $1" | xrdb -merge
    "$binary" &
    app=$!
    win=$(wait_window) || fail "no window at $1 dpi"
    sleep 1 # its first paint
    xwd -silent -id "$win" | convert xwd:- "png:$2"
    window_size "$win"
    kill "$app"
    wait "$app" 2>/dev/null || true
}

size1=$(shoot 96 "$work/scale1.png")
size2=$(shoot 144 "$work/scale2.png")
[ "$size1 $size2" = "400x370 800x740" ] || fail "sizes $size1 and $size2, not 400x370 and 800x740"

convert "$work/scale2.png" -filter Box -resize 400x370 "$work/halved.png"
# The scale-1 picture shifted by a few pixels: a reference for "clearly not in proportion".
convert "$work/scale1.png" -roll +6+6 "$work/shifted.png"
# compare prints "absolute (normalised)" on stderr and exits 1 when the pictures differ.
rmse() { compare -metric RMSE "$work/scale1.png" "$1" null: 2>&1 | sed -E 's/.*\((.*)\).*/\1/' || true; }
same=$(rmse "$work/halved.png") shifted=$(rmse "$work/shifted.png")
echo "difference halved scale 2 vs scale 1: $same (shifted by 6 px: $shifted)"
awk -v a="$same" -v b="$shifted" 'BEGIN { exit !(a ~ /^[0-9.e-]+$/ && a < 0.5 * b) }' ||
    fail "the scale-2 window is not the scale-1 window in proportion"
echo PASS
