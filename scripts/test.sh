#!/usr/bin/env bash
# Sets up a Debian machine (12, 13 or testing), builds ORVcontrol with its tests and runs the whole suite,
# against the release's default Qt (scripts/lib/qt.sh); --qt5 or --qt6 chooses.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib/root.sh"
. "$root/scripts/lib/qt.sh"
case "${1:-}" in
    "" | --qt5 | --qt6) qt_select "$root" "${1:-}" ;;
    *) echo "usage: scripts/test.sh [--qt5|--qt6]" >&2; exit 2 ;;
esac
"$root/scripts/deps.sh" build "qt$qt" test
"$root/scripts/build.sh" "--qt$qt" --tests
# Not ctest --preset: it would take the preset's directory over $ORV_BUILD_DIR.
exec ctest --test-dir "$qt_build" --output-on-failure --timeout 600 --parallel "$(nproc)"
