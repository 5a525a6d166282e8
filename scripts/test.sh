#!/usr/bin/env bash
# Sets up a Debian machine (12, 13 or testing), builds ORVcontrol with its tests and runs the whole suite.
# With --qt6, the Qt 6 build (in build-qt6/).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib/root.sh"
case "${1:-}" in
    "") qt=() sets=() build=${ORV_BUILD_DIR:-$root/build} ;;
    --qt6) qt=(--qt6) sets=(qt6) build=${ORV_BUILD_DIR:-$root/build-qt6} ;;
    *) echo "usage: scripts/test.sh [--qt6]" >&2; exit 2 ;;
esac
"$root/scripts/deps.sh" build test "${sets[@]}"
"$root/scripts/build.sh" "${qt[@]}" --tests
# Not ctest --preset: it would take the preset's directory over $ORV_BUILD_DIR.
exec ctest --test-dir "$build" --output-on-failure --timeout 600 --parallel "$(nproc)"
