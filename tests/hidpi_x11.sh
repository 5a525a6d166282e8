#!/usr/bin/env bash
# On a real X server, QT_SCALE_FACTOR=2 must give a window twice the size with everything in
# proportion: the scale-2 picture shrunk by half must look like the scale-1 picture.
# Usage: hidpi_x11.sh <orvcontrol binary>
set -euo pipefail
binary=$1
work=$(mktemp -d)
xvfb="" app=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/x11.sh"
start_xvfb "$work" 1280x1024

# shoot <scale> <png>: prints the window's size as WxH
shoot() {
    QT_SCALE_FACTOR=$1 "$binary" &
    app=$!
    local win
    win=$(wait_window) || { echo "FAIL: no window at scale $1" >&2; exit 1; }
    sleep 1
    xwd -silent -id "$win" | convert xwd:- "png:$2"
    window_size "$win"
    kill "$app"
    wait "$app" 2>/dev/null || true
    app=""
}

size1=$(shoot 1 "$work/scale1.png")
size2=$(shoot 2 "$work/scale2.png")
echo "scale 1: $size1, scale 2: $size2"
[ "$size1" = 400x370 ] || { echo "FAIL: expected 400x370 at scale 1" >&2; exit 1; }
[ "$size2" = 800x740 ] || { echo "FAIL: expected 800x740 at scale 2" >&2; exit 1; }

convert "$work/scale2.png" -filter Box -resize 400x370 "$work/halved.png"
# compare prints "absolute (normalised)" on stderr and exits 1 when the pictures differ.
rmse() { compare -metric RMSE "$1" "$2" null: 2>&1 | sed -E 's/.*\(([0-9.e-]+)\).*/\1/' || true; }
same=$(rmse "$work/scale1.png" "$work/halved.png")
# The same measure between the scale-1 picture and itself shifted by a few pixels, as a
# reference for "clearly not in proportion".
convert "$work/scale1.png" -roll +6+6 "$work/shifted.png"
shifted=$(rmse "$work/scale1.png" "$work/shifted.png")
echo "difference halved scale 2 vs scale 1: $same (shifted by 6 px: $shifted)"
awk -v a="$same" -v b="$shifted" 'BEGIN { exit !(a < 0.5 * b) }' ||
    { echo "FAIL: the scale-2 window is not the scale-1 window in proportion" >&2; exit 1; }
echo PASS
