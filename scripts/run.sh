#!/usr/bin/env bash
# Sets up a Debian machine (12, 13 or testing), builds ORVcontrol and starts it.
# With --demo it starts orvcontrol-demo instead: the same program with a simulated ORV.
# Against the release's default Qt (scripts/lib/qt.sh); --qt5 or --qt6 chooses.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib/root.sh"
. "$root/scripts/lib/qt.sh"
program=orvcontrol choice=""
for arg in "$@"; do
    case "$arg" in
        --demo) program=orvcontrol-demo ;;
        --qt5 | --qt6) choice=$arg ;;
        *) echo "usage: scripts/run.sh [--qt5|--qt6] [--demo]" >&2; exit 2 ;;
    esac
done
qt_select "$root" "$choice"
binary=$qt_build/$program
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
    echo "run.sh: ORVcontrol needs a graphical session, and neither DISPLAY nor WAYLAND_DISPLAY is set (scripts/build.sh only builds it)" >&2
    exit 1
fi
"$root/scripts/deps.sh" build "qt$qt"
"$root/scripts/build.sh" "--qt$qt" --target "$program"
echo "run.sh: starting $binary"
exec "$binary"
