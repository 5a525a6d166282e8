#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds ORVcontrol and starts it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/deps.sh" build
"$root/scripts/build.sh"
exec "${ORV_BUILD_DIR:-$root/build}/orvcontrol"
