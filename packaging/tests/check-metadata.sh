#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the desktop integration as installed:
# the validators, and that the desktop entry, icons, metadata and program refer to each other.
# Usage: check-metadata.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1 app_id=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
usr=$work/root/usr
cmake --install "$build" --prefix "$usr" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install failed"; }
desktop=$usr/share/applications/$app_id.desktop

# desktop-file-validate exits 0 on mere warnings; those count here too.
out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate: $out"
# appstreamcli fails on warnings and errors, and passes infos (it does not know the .invalid
# top-level domain of the id: an info), from 0.16 to 1.2.
out=$(appstreamcli validate --no-net "$usr/share/metainfo/$app_id.metainfo.xml" 2>&1) ||
    fail "appstreamcli validate: $out"
# The tree check also finds the desktop entry that the metadata's launchable names.
out=$(appstreamcli validate-tree --no-net "$work/root" 2>&1) || fail "appstreamcli validate-tree: $out"

entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Icon)" = "$app_id" ] || fail "Icon=$(entry Icon), expected the application id $app_id"
for size in 16 32 48 64 128 256; do
    icon=$usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    [[ $(file -b "$icon") == "PNG image data, $size x $size,"* ]] || fail "$icon: $(file -b "$icon")"
done
exe=$(entry Exec)
exe=${exe%% *}
[ -x "$usr/bin/$exe" ] || fail "Exec=$exe, but there is no usr/bin/$exe"
# Qt names the window's WM_CLASS after the executable, and docks match the entry by it.
[ "$(entry StartupWMClass)" = "$exe" ] || fail "StartupWMClass=$(entry StartupWMClass), not $exe"
echo "PASS: desktop entry, icons and AppStream metadata of $app_id"
