#!/usr/bin/env bash
# Native Wayland, on a headless weston of its own: the demo's window maps with a fixed size,
# 400x370 inside Qt's frame (weston draws none), its app id is the desktop file's name, and its
# status bar turns green once the simulated ORV connects. The evidence: the client's own
# protocol log (WAYLAND_DEBUG) and weston's screenshots.
# Usage: wayland.sh <orvcontrol-demo> <desktop file name, without .desktop>
set -euo pipefail
work=$(mktemp -d) # private, 0700: the runtime directory weston and the client share
weston="" app=""
trap 'kill $app $weston 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; tail -n 20 "$work/weston.log" "$work/client.log" >&2; exit 1; }

export XDG_RUNTIME_DIR=$work WAYLAND_DISPLAY=orv-test QT_QPA_PLATFORM=wayland
unset DISPLAY QT_WAYLAND_DISABLE_WINDOWDECORATION
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/wayland.sh"
start_weston "$work" orv-test || fail "no compositor"

log=$work/client.log
WAYLAND_DEBUG=client "$1" 2>"$log" &
app=$!
# libwayland logs objects as interface@id up to 1.22 and as interface#id from 1.23 on.
shown() { grep -Eq 'wl_surface[@#][0-9]+\.enter\(' "$log"; }
for _ in $(seq 150); do shown && break; sleep 0.1; done
shown || fail "no window shown"
# request <name>: the arguments of the client's last request of that name, without commas.
request() {
    sed -En "s/.* -> [a-z_0-9]+[@#][0-9]+\.$1\((.*)\)\$/\1/p" "$log" | tail -n 1 | tr -d ,
}
read -r min_w min_h <<<"$(request set_min_size)"
read -r max_w max_h <<<"$(request set_max_size)"
read -r _ _ w h <<<"$(request set_window_geometry)"
id=$(request set_app_id)
echo "size $min_w x $min_h to $max_w x $max_h, window $w x $h, app id $id"
# Fixed: the minimum is the maximum. Framed: the window is larger than its 400x370 contents.
# Qt up to 6.7 gives the limits as the contents' size; Qt 6.8 on, as xdg-shell defines them,
# as the framed window's.
[[ "$min_w x $min_h" = "$max_w x $max_h" && $w -gt 400 && $h -gt 370 ]] ||
    fail "not a fixed size inside a frame"
[[ "$min_w x $min_h" = "400 x 370" || "$min_w x $min_h" = "$w x $h" ]] ||
    fail "a fixed $min_w x $min_h, neither the 400x370 contents nor the $w x $h window"
[ "$id" = "\"$2\"" ] || fail "app id $id, not the desktop file's name \"$2\""

# The status bar spans the 400-pixel-wide contents, about 18 high: most of it must turn green.
for _ in $(seq 40); do
    rm -f "$work"/*.png
    (cd "$work" && WAYLAND_DEBUG=0 weston-screenshooter >/dev/null 2>&1) || fail "no screenshot"
    # The green pixels' count, and the box around them (WxH+X+Y).
    read -r n box < <(convert "$work"/*.png -alpha off -fill black +opaque 'srgb(30,200,40)' \
        -fill white -opaque 'srgb(30,200,40)' -format '%[fx:round(mean*w*h)] %@\n' info: \
        2>/dev/null) || true
    if [ "${n:-0}" -gt 5000 ]; then
        [ "${box%%x*}" = 400 ] || fail "a green status bar ${box%%x*} pixels wide, not 400"
        echo "status bar green ($n pixels, $box): PASS"
        exit 0
    fi
    sleep 0.25
done
fail "the status bar never turned green ($n green pixels)"
