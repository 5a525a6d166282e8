#!/usr/bin/env bash
# Configures and builds ORVcontrol from a preset of CMakePresets.json: the program and the demo
# into build/ (or $ORV_BUILD_DIR), --tests adds the tests and benchmarks, --qt6 builds against
# Qt 6 into build-qt6/.
# Usage: scripts/build.sh [--qt6] [--tests] [--target NAME]... [cmake -D options]...
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib/root.sh"
configure=() targets=() qt6="" tests=""
while [ $# -gt 0 ]; do
    case "$1" in
        --qt6) qt6=yes ;;
        --tests) tests=yes ;;
        --target) targets+=(--target "$2"); shift ;;
        *) configure+=("$1") ;;
    esac
    shift
done
# The preset, and which packages a failure most likely lacks.
if [ -n "$qt6" ]; then
    preset=qt6${tests:+-tests} build=${ORV_BUILD_DIR:-$root/build-qt6}
else
    preset=${tests:+tests} build=${ORV_BUILD_DIR:-$root/build}
fi
preset=${preset:-default} sets="build${tests:+ test}${qt6:+ qt6}"
build=$(realpath -m "$build")

echo "build.sh: configuring and building in $build"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! (cd "$root" && cmake --preset "$preset" -B "$build" \
    ${CMAKE_BUILD_TYPE:+-DCMAKE_BUILD_TYPE="$CMAKE_BUILD_TYPE"} "${configure[@]}") >"$log" 2>&1; then
    cat "$log" >&2
    echo "build.sh: configuring failed; the packages it needs: scripts/deps.sh $sets" >&2
    exit 1
fi
if ! cmake --build "$build" --parallel "$(nproc)" "${targets[@]}"; then
    echo "build.sh: the build failed; the packages it needs: scripts/deps.sh $sets" >&2
    exit 1
fi
