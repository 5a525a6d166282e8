#!/usr/bin/env bash
# Configures and builds ORVcontrol from a preset of CMakePresets.json: the program and the demo
# against this release's default Qt into build/ (or $ORV_BUILD_DIR); --tests adds the tests and
# benchmarks; --qt5 or --qt6 chooses the Qt, the other one going into build-qt5/ or build-qt6/.
# Usage: scripts/build.sh [--qt5|--qt6] [--tests] [--target NAME]... [cmake -D options]...
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib/root.sh"
. "$root/scripts/lib/qt.sh"
configure=() targets=() choice="" tests=""
while [ $# -gt 0 ]; do
    case "$1" in
        --qt5 | --qt6) choice=$1 ;;
        --tests) tests=yes ;;
        --target) targets+=(--target "$2"); shift ;;
        *) configure+=("$1") ;;
    esac
    shift
done
qt_select "$root" "$choice"
# The preset, and which packages a failure most likely lacks.
preset=qt$qt${tests:+-tests} sets="build qt$qt${tests:+ test}"
build=$(realpath -m "$qt_build")
# A folder configured against the other Qt (the release's default changed under it) starts
# afresh: nothing cached for one Qt is of use to the other.
fresh=() cached=$(sed -n 's/^ORV_QT_MAJOR:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
[ -z "$cached" ] || [ "$cached" = "$qt" ] || fresh=(--fresh)

echo "build.sh: configuring and building in $build"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! (cd "$root" && cmake --preset "$preset" -B "$build" "${fresh[@]}" \
    ${CMAKE_BUILD_TYPE:+-DCMAKE_BUILD_TYPE="$CMAKE_BUILD_TYPE"} "${configure[@]}") >"$log" 2>&1; then
    cat "$log" >&2
    echo "build.sh: configuring failed; the packages it needs: scripts/deps.sh $sets" >&2
    exit 1
fi
if ! cmake --build "$build" --parallel "$(nproc)" "${targets[@]}"; then
    echo "build.sh: the build failed; the packages it needs: scripts/deps.sh $sets" >&2
    exit 1
fi
