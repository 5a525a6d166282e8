#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing ORVcontrol need.
# Usage: scripts/deps.sh [build|test|screenshot|bench|sanitize|fuzz|valgrind]...  (default: build)
# Safe to run again: it only calls apt-get when a package is missing.
set -euo pipefail

build=(cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools libhidapi-dev fonts-dejavu-core)
test=(umockdev libumockdev-dev xvfb xauth x11-utils x11-apps imagemagick desktop-file-utils appstream dpkg-dev file udev)
screenshot=(xvfb xauth x11-utils x11-apps imagemagick xdotool)
bench=(xvfb libxcb1-dev)
sanitize=(libasan8 libubsan1 libtsan2)
fuzz=(clang libclang-rt-14-dev)
valgrind=(valgrind)

wanted=("${build[@]}")
for set in "$@"; do
    case "$set" in
        build) ;;
        test) wanted+=("${test[@]}") ;;
        screenshot) wanted+=("${screenshot[@]}") ;;
        bench) wanted+=("${bench[@]}") ;;
        sanitize) wanted+=("${sanitize[@]}") ;;
        fuzz) wanted+=("${fuzz[@]}") ;;
        valgrind) wanted+=("${valgrind[@]}") ;;
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

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
else
    echo "deps.sh: need root or sudo to install: ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
