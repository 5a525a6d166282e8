#!/usr/bin/env bash
# Builds and installs ORVcontrol, through sudo where it needs root and is not root already.
#   scripts/install.sh                 into /usr/local: orvcontrol, orvctl and all that goes along
#   scripts/install.sh --prefix DIR    into DIR (a directory of yours needs no root)
#   scripts/install.sh --deb           as a Debian package, installed with apt
#   scripts/install.sh --udev-rule     only the udev rule, into /etc/udev/rules.d
# The program is built against the release's default Qt (scripts/lib/qt.sh); --qt5 or --qt6
# chooses.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib/root.sh"
. "$root/scripts/lib/qt.sh"

# Applies the rules to an ORV already plugged in, as the package's postinst does.
reload_udev() { as_root sh "$root/packaging/debian/udev-reload" configure; }
usage() { echo "usage: scripts/install.sh [--prefix DIR | --deb | --udev-rule] [--qt5|--qt6]" >&2; exit 2; }

prefix=/usr/local mode="" choice=""
while [ $# -gt 0 ]; do
    case "$1" in
        --prefix) [ $# -ge 2 ] && [ -z "$mode" ] || usage; mode=prefix prefix=$2; shift ;;
        --deb | --udev-rule) [ -z "$mode" ] || usage; mode=$1 ;;
        --qt5 | --qt6) choice=$1 ;;
        *) usage ;;
    esac
    shift
done
qt_select "$root" "$choice"
build=$qt_build
"$root/scripts/deps.sh" build "qt$qt" $([ "$mode" != --deb ] || echo package)
"$root/scripts/build.sh" "--qt$qt" # everything installed: both programs, the manual pages
case "$mode" in
    --udev-rule)
        # The build writes the rule from the device's identity.
        as_root install -D -m 644 "$build/packaging/70-orvcontrol.rules" /etc/udev/rules.d/70-orvcontrol.rules
        reload_udev
        exit 0 ;;
    --deb)
        # A folder of its own, emptied first: the package installed is the one just made.
        rm -rf "$build/deb"
        (cd "$build" && cpack -G DEB -B "$build/deb" >/dev/null)
        deb=$(echo "$build"/deb/orvcontrol_*.deb)
        echo "install.sh: installing $deb"
        # The package's postinst reloads the udev rules itself.
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb"
        exit 0 ;;
esac

if [ "$(id -u)" -eq 0 ] || { mkdir -p "$prefix" 2>/dev/null && [ -w "$prefix" ]; }; then
    cmake --install "$build" --prefix "$prefix"
else
    # Staged as the user, so that the build folder stays theirs; root only copies the tree in,
    # root's and readable by all, leaving the folders that are already there as they are.
    stage=$(mktemp -d)
    trap 'rm -rf "$stage"' EXIT
    DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >/dev/null
    tar -C "$stage" --owner=0 --group=0 --mode=go+rX -cf - . | as_root tar -C / --no-overwrite-dir -xf -
    echo "install.sh: installed into $prefix"
fi
case "$prefix" in /usr | /usr/local) reload_udev ;; esac
