#!/usr/bin/env bash
# Retakes docs/screenshot.png: runs the real program under a private Xvfb and grabs its window.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/deps.sh" build screenshot
"$root/scripts/build.sh"
build=${ORV_BUILD_DIR:-$root/build}
out=${1:-$root/docs/screenshot.png}

workdir=$(mktemp -d)
cleanup() {
    [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$workdir"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$workdir/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$workdir/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$workdir/display")"
unset QT_QPA_PLATFORM

"$build/orvcontrol" &
app=$!
win=""
for _ in $(seq 100); do
    win=$(xwininfo -root -tree 2>/dev/null | awk '/"ORVcontrol v2.4"/ {print $1; exit}')
    [ -n "$win" ] && xwininfo -id "$win" | grep -q 'IsViewable' && break
    sleep 0.1
done
[ -n "$win" ] || { echo "screenshot.sh: the window never appeared" >&2; exit 1; }
sleep 0.5 # let the first paint land
mkdir -p "$(dirname "$out")"
xwd -silent -id "$win" | convert xwd:- "png:$out"
echo "wrote $out"
