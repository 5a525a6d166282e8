#!/usr/bin/env bash
# Installs the Debian packages (12, 13 or testing) that building, running and testing ORVcontrol need.
# Usage: scripts/deps.sh [build|test|qt6|package|lintian|screenshot|bench|sanitize|fuzz|valgrind|style|fresh-root]...
#        (default: build; qt6 adds what the Qt 6 build needs beside it)
# Safe to run again: it only calls apt-get when a package is missing.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib/root.sh"

# qtwayland5: Qt's Wayland platform plugin, for a native window in a Wayland session.
build=(cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools libhidapi-dev libwayland-dev
    qtwayland5 fonts-dejavu-core)
test=(umockdev libumockdev-dev xvfb xauth xdotool x11-apps x11-xserver-utils imagemagick desktop-file-utils appstream dpkg-dev file udev
    weston bubblewrap)
qt6=(qt6-base-dev qt6-base-dev-tools libxkbcommon-dev qt6-wayland)
package=(dpkg-dev file)
# Apart from package: it is large, and building or installing the package never needs it.
lintian=(lintian)
screenshot=(xvfb xauth x11-apps imagemagick xdotool)
bench=(xvfb xauth libxcb1-dev)
sanitize=(libasan8 libubsan1 libtsan2)
fuzz=(clang libclang-rt-dev)
valgrind=(valgrind)
style=(clang-format clang-tidy git)
fresh_root=(mmdebstrap bubblewrap xvfb xauth xdotool imagemagick)

wanted=("${build[@]}")
for set in "$@"; do
    case "$set" in
        build) ;;
        test) wanted+=("${test[@]}") ;;
        qt6) wanted+=("${qt6[@]}") ;;
        package) wanted+=("${package[@]}") ;;
        lintian) wanted+=("${lintian[@]}") ;;
        screenshot) wanted+=("${screenshot[@]}") ;;
        bench) wanted+=("${bench[@]}") ;;
        sanitize) wanted+=("${sanitize[@]}") ;;
        fuzz) wanted+=("${fuzz[@]}") ;;
        valgrind) wanted+=("${valgrind[@]}") ;;
        style) wanted+=("${style[@]}") ;;
        fresh-root) wanted+=("${fresh_root[@]}") ;;
        *) echo "deps.sh: unknown package set '$set'" >&2; exit 2 ;;
    esac
done

missing=()
for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root apt-get update -qq
as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
