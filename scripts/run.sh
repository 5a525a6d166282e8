#!/usr/bin/env bash
# Sets up a Debian machine (12, 13 or testing), builds ORVcontrol and starts it.
# With --demo it starts orvcontrol-demo instead: the same program with a simulated ORV.
# With --qt6, the Qt 6 build.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib/root.sh"
program=orvcontrol qt=() sets=()
for arg in "$@"; do
    case "$arg" in
        --demo) program=orvcontrol-demo ;;
        --qt6) qt=(--qt6) sets=(qt6) ;;
        *) echo "usage: scripts/run.sh [--qt6] [--demo]" >&2; exit 2 ;;
    esac
done
build=${ORV_BUILD_DIR:-$root/build${qt:+-qt6}}
binary=$build/$program
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
    echo "run.sh: ORVcontrol needs a graphical session, and neither DISPLAY nor WAYLAND_DISPLAY is set (scripts/build.sh only builds it)" >&2
    exit 1
fi
"$root/scripts/deps.sh" build "${sets[@]}"
"$root/scripts/build.sh" "${qt[@]}" --target "$program"
echo "run.sh: starting $binary"
exec "$binary"
