#!/usr/bin/env bash
# Native Wayland, on a headless weston of its own: the demo's window maps with a fixed 400x370
# size inside Qt's frame (weston draws none), its app id is the desktop file's name, and its
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
shown() { grep -q 'wl_surface@[0-9]*\.enter(' "$log"; }
for _ in $(seq 150); do shown && break; sleep 0.1; done
shown || fail "no window shown"
# request <name>: the arguments of the client's last request of that name.
request() { sed -n "s/.* -> [a-z_0-9]*@[0-9]*\.$1(\(.*\))\$/\1/p" "$log" | tail -n 1; }
min=$(request set_min_size) max=$(request set_max_size) id=$(request set_app_id)
IFS=', ' read -r _ _ w h <<<"$(request set_window_geometry)"
echo "size $min to $max, with its frame $w x $h, app id $id"
[[ "$min/$max" = "400, 370/400, 370" && $w -gt 400 && $h -gt 370 && $id = "\"$2\"" ]] ||
    fail "not a fixed 400x370 inside a frame, or not the desktop file's app id \"$2\""

# The status bar is about 400x18 pixels: most of them must turn green.
for _ in $(seq 40); do
    rm -f "$work"/*.png
    (cd "$work" && WAYLAND_DEBUG=0 weston-screenshooter >/dev/null 2>&1) || fail "no screenshot"
    n=$(convert "$work"/*.png -alpha off -fill black +opaque 'srgb(30,200,40)' -fill white \
        -opaque 'srgb(30,200,40)' -format '%[fx:round(mean*w*h)]' info:)
    [ "$n" -gt 5000 ] && { echo "status bar green ($n pixels): PASS"; exit 0; }
    sleep 0.25
done
fail "the status bar never turned green ($n green pixels)"
