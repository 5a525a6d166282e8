#!/usr/bin/env bash
# Builds the Debian package and runs lintian on it as a Debian maintainer would: any error or
# warning fails; informational tags are shown and pass. CI runs it on one machine only, since
# each lintian release brings tags of its own.
# Usage: scripts/lint-deb.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib/root.sh"
build=${ORV_BUILD_DIR:-$root/build}

"$root/scripts/deps.sh" build package lintian
# Everything cpack would otherwise build first, and as whoever runs this.
"$root/scripts/build.sh"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
trap 'exit 129' HUP; trap 'exit 130' INT; trap 'exit 143' TERM
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log" >&2; echo "lint-deb.sh: cpack could not build the package" >&2; exit 1; }
deb=$(ls "$out"/*.deb)
echo "lint-deb.sh: lintian $(lintian --version | sed 's/^Lintian v//') on $(basename "$deb")"
lintian --fail-on error,warning --display-info "$deb" ||
    { echo "lint-deb.sh: lintian found errors or warnings in $(basename "$deb")" >&2; exit 1; }
