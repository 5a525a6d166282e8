#!/usr/bin/env bash
# Configures and builds ORVcontrol into build/ (or $ORV_BUILD_DIR): the program and the demo,
# and with -DBUILD_TESTING=ON the tests and benchmarks as well. --qt6 builds against Qt 6,
# into build-qt6/.
# Usage: scripts/build.sh [--qt6] [--target NAME]... [cmake -D options]...
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORV_BUILD_DIR:-$root/build}
configure=() targets=() qt6=""
while [ $# -gt 0 ]; do
    case "$1" in
        --qt6) qt6=" qt6" build=${ORV_BUILD_DIR:-$root/build-qt6} configure+=(-DORV_QT_MAJOR=6) ;;
        --target) targets+=(--target "$2"); shift ;;
        *) configure+=("$1") ;;
    esac
    shift
done
# Which packages a failure most likely lacks.
sets="build"
case " ${configure[*]:-} " in *" -DBUILD_TESTING=ON "*) sets="build test" ;; esac
sets+=$qt6

echo "build.sh: configuring and building in $build"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" \
    "${configure[@]}" >"$log" 2>&1; then
    cat "$log" >&2
    echo "build.sh: configuring failed; the packages it needs: scripts/deps.sh $sets" >&2
    exit 1
fi
if ! cmake --build "$build" --parallel "$(nproc)" "${targets[@]}"; then
    echo "build.sh: the build failed; the packages it needs: scripts/deps.sh $sets" >&2
    exit 1
fi
