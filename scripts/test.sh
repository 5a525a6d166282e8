#!/usr/bin/env bash
# Sets up a Debian machine (12, 13 or testing), builds ORVcontrol with its tests and runs the whole suite.
# With --qt6, the Qt 6 build (in build-qt6/).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
case "${1:-}" in
    "") qt=() sets=() build=${ORV_BUILD_DIR:-$root/build} ;;
    --qt6) qt=(--qt6) sets=(qt6) build=${ORV_BUILD_DIR:-$root/build-qt6} ;;
    *) echo "usage: scripts/test.sh [--qt6]" >&2; exit 2 ;;
esac
"$root/scripts/deps.sh" build test "${sets[@]}"
stamp=$(mktemp)
trap 'rm -f "$stamp"' EXIT
"$root/scripts/build.sh" "${qt[@]}" --tests
status=0
# Not ctest --preset: it would take the preset's directory over $ORV_BUILD_DIR.
ctest --test-dir "$build" --output-on-failure --timeout 600 --parallel "$(nproc)" || status=$?
# Root in a user's checkout builds as that user (build.sh) but tests as root: what the tests
# wrote into the build directory goes back to its owner, whose next build it would stop.
owner=$(stat -c %u:%g "$build")
if [ "$(id -u)" = 0 ] && [ "${owner%:*}" != 0 ]; then
    find "$build" -user 0 -newer "$stamp" -exec chown -h "$owner" {} +
fi
exit "$status"
