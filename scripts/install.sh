#!/usr/bin/env bash
# Builds and installs ORVcontrol, through sudo where it needs root and is not root already.
#   scripts/install.sh                 into /usr/local: program, menu entry, icons, udev rule
#   scripts/install.sh --prefix DIR    into DIR (a directory of yours needs no root)
#   scripts/install.sh --deb           as a Debian package, installed with apt
#   scripts/install.sh --udev-rule     only the udev rule, into /etc/udev/rules.d
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORV_BUILD_DIR:-$root/build}
. "$root/scripts/lib/root.sh"

# Applies the rules to an ORV already plugged in, as the package's postinst does.
reload_udev() { as_root sh "$root/packaging/debian/udev-reload" configure; }

prefix=/usr/local
case "${1:-}" in
    "") ;;
    --prefix) [ $# -ge 2 ] || { echo "usage: scripts/install.sh --prefix DIR" >&2; exit 2; }
        prefix=$2 ;;
    --udev-rule)
        # The build writes the rule from the device's identity.
        "$root/scripts/deps.sh" build
        "$root/scripts/build.sh" --target orvcontrol
        as_root install -D -m 644 "$build/packaging/70-orvcontrol.rules" /etc/udev/rules.d/70-orvcontrol.rules
        reload_udev
        exit 0 ;;
    --deb)
        "$root/scripts/deps.sh" build package
        "$root/scripts/build.sh" --target orvcontrol
        (cd "$build" && cpack -G DEB >/dev/null)
        deb=$(ls -t "$build"/orvcontrol_*.deb | head -n 1)
        echo "install.sh: installing $deb"
        # The package's postinst reloads the udev rules itself.
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb"
        exit 0 ;;
    *) echo "usage: scripts/install.sh [--prefix DIR | --deb | --udev-rule]" >&2; exit 2 ;;
esac

"$root/scripts/deps.sh" build
"$root/scripts/build.sh" --target orvcontrol
if mkdir -p "$prefix" 2>/dev/null && [ -w "$prefix" ]; then
    cmake --install "$build" --prefix "$prefix"
else
    as_root cmake --install "$build" --prefix "$prefix"
fi
# cmake leaves its list of the installed files in the build directory: back to that directory's
# owner, whose next build or install would fail on a file of root's.
manifest=$build/install_manifest.txt
[ "$(stat -c %u "$manifest")" = "$(stat -c %u "$build")" ] ||
    as_root chown "$(stat -c %u:%g "$build")" "$manifest"
case "$prefix" in /usr | /usr/local) reload_udev ;; esac
