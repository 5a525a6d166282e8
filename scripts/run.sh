#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds ORVcontrol and starts it.
# With --demo it starts orvcontrol-demo instead: the same program with a simulated ORV.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORV_BUILD_DIR:-$root/build}
case "${1:-}" in
    "") program=orvcontrol binary=$build/orvcontrol ;;
    --demo) program=orvcontrol-demo binary=$build/sim/orvcontrol-demo ;;
    *) echo "usage: scripts/run.sh [--demo]" >&2; exit 2 ;;
esac
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
    echo "run.sh: ORVcontrol needs a graphical session, and neither DISPLAY nor WAYLAND_DISPLAY is set (scripts/build.sh only builds it)" >&2
    exit 1
fi
"$root/scripts/deps.sh" build
"$root/scripts/build.sh" --target "$program"
echo "run.sh: starting $binary"
exec "$binary"
