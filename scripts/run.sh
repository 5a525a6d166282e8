#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds ORVcontrol and starts it.
# With --demo it starts orvcontrol-demo instead: the same program with a simulated ORV.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/deps.sh" build
"$root/scripts/build.sh"
build=${ORV_BUILD_DIR:-$root/build}
case "${1:-}" in
    "") exec "$build/orvcontrol" ;;
    --demo) exec "$build/sim/orvcontrol-demo" ;;
    *) echo "usage: scripts/run.sh [--demo]" >&2; exit 2 ;;
esac
