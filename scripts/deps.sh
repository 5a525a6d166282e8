#!/usr/bin/env bash
# Installs the Debian packages (12, 13 or testing) that building, running and testing ORVcontrol need.
# Usage: scripts/deps.sh [build|qt5|qt6|test|package|lintian|screenshot|bench|sanitize|fuzz|valgrind|style|fresh-root]...
#        (build is always in; it takes the release's default Qt unless qt5 or qt6 is named)
# Safe to run again: it only calls apt-get when a package is missing.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib/root.sh"
. "$(dirname "${BASH_SOURCE[0]}")/lib/qt.sh"

build=(cmake g++ make pkg-config libhidapi-dev libwayland-dev fonts-dejavu-core)
# qtwayland5, qt6-wayland: Qt's Wayland platform plugin, for a native window in a Wayland session.
qt5=(qtbase5-dev qtbase5-dev-tools qtwayland5)
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
case " $* " in *" qt5 "* | *" qt6 "*) ;; *) set -- "$@" "qt$(qt_default)" ;; esac
for set in "$@"; do
    [[ $set =~ ^(build|qt5|qt6|test|package|lintian|screenshot|bench|sanitize|fuzz|valgrind|style|fresh-root)$ ]] ||
        { echo "deps.sh: unknown package set '$set'" >&2; exit 2; }
    set=${set/-/_}[@]
    wanted+=("${!set}")
done

missing=()
for pkg in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root apt-get update -qq
as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
