#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds ORVcontrol with its tests and runs the whole suite.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/deps.sh" build test
"$root/scripts/build.sh" -DBUILD_TESTING=ON
ctest --test-dir "${ORV_BUILD_DIR:-$root/build}" --output-on-failure --timeout 600 \
    --parallel "$(nproc)"
