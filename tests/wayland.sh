#!/usr/bin/env bash
# Native Wayland, on a headless weston of its own: the program's window maps with a fixed
# 400x370 size, carries the desktop file's name as its app id and keeps Qt's frame (weston
# draws none); the demo's status bar turns green once its simulated ORV connects.
# The client's own protocol log (WAYLAND_DEBUG) and weston's screenshots are the evidence.
# Usage: wayland.sh <orvcontrol> <orvcontrol-demo> <desktop file name, without .desktop>
set -euo pipefail
program=$1 demo=$2 app_id=$3
work=$(mktemp -d) # private, 0700: the runtime directory weston and the clients share
weston="" app=""
trap 'kill $app $weston 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    tail -n 20 "$work/weston.log" "$work"/*.wayland 2>/dev/null | sed 's/^/  /' >&2
    exit 1
}

export XDG_RUNTIME_DIR=$work WAYLAND_DISPLAY=orv-test QT_QPA_PLATFORM=wayland
unset DISPLAY QT_WAYLAND_DISABLE_WINDOWDECORATION QT_WAYLAND_CLIENT_BUFFER_INTEGRATION
# --debug lets weston-screenshooter in; pixman renders without a GPU.
weston --backend=headless-backend.so --use-pixman --width=1024 --height=768 --no-config \
    --idle-time=0 --debug --socket="$WAYLAND_DISPLAY" --log="$work/weston.log" </dev/null \
    >/dev/null 2>&1 &
weston=$!
for _ in $(seq 100); do [ -S "$work/$WAYLAND_DISPLAY" ] && break; sleep 0.1; done
[ -S "$work/$WAYLAND_DISPLAY" ] || fail "weston did not start"

# start <binary>: runs it with its protocol log in $work/<name>.wayland, until its surface is
# shown on an output.
start() {
    log=$work/$(basename "$1").wayland
    WAYLAND_DEBUG=client "$1" 2>"$log" &
    app=$!
    for _ in $(seq 150); do grep -q 'wl_surface@[0-9]*\.enter(' "$log" && return 0; sleep 0.1; done
    fail "$(basename "$1"): no window shown"
}
# request <name>: the arguments of the client's last request of that name.
request() { sed -n "s/.* -> [a-z_0-9]*@[0-9]*\.$1(\(.*\))\$/\1/p" "$log" | tail -n 1; }
# fixed_size <binary>: a 400x370 window that cannot be resized, framed by Qt.
fixed_size() {
    local min max geometry w h
    min=$(request set_min_size) max=$(request set_max_size) geometry=$(request set_window_geometry)
    [ "$min/$max" = "400, 370/400, 370" ] || fail "$1: min size $min, max size $max"
    IFS=', ' read -r _ _ w h <<<"$geometry"
    # The frame lies around the 400x370 of the window's contents.
    [[ $w -gt 400 && $h -gt 370 ]] || fail "$1: window geometry $geometry: no frame"
    echo "$1: 400x370, not resizable, framed as $w x $h"
}

start "$program"
fixed_size orvcontrol
id=$(request set_app_id)
[ "$id" = "\"$app_id\"" ] || fail "app id $id, not the desktop file's \"$app_id\""
echo "orvcontrol: app id $id"
kill "$app"
wait "$app" 2>/dev/null || true

start "$demo"
fixed_size orvcontrol-demo
# green <png>: pixels of the connected status bar's colour.
green() { convert "$1" -alpha off -fill black +opaque 'srgb(30,200,40)' -fill white \
    -opaque 'srgb(30,200,40)' -format '%[fx:round(mean*w*h)]' info:; }
mkdir "$work/shots"
for i in $(seq 40); do
    rm -f "$work/shots"/*.png
    (cd "$work/shots" && WAYLAND_DEBUG=0 weston-screenshooter >/dev/null 2>&1) || fail "no screenshot"
    n=$(green "$work/shots"/*.png)
    # The status bar is about 400x18: most of it must be green.
    if [ "$n" -gt 5000 ]; then
        echo "orvcontrol-demo: status bar green after $i screenshots ($n pixels)"
        echo PASS
        exit 0
    fi
    sleep 0.25
done
fail "orvcontrol-demo: the status bar never turned green ($n green pixels)"
