#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the desktop integration as installed:
# the validators, and that the desktop entry, icons, metadata and program refer to each other.
# Usage: check-metadata.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1
app_id=$2

fail() { echo "FAIL: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null || fail "$1 not found: install $2 (scripts/deps.sh test)"; }
need desktop-file-validate desktop-file-utils
need appstreamcli appstream
need file file

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
cmake --install "$build" --prefix "$root/usr" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install failed"; }
usr=$root/usr

desktop=$usr/share/applications/$app_id.desktop
metainfo=$usr/share/metainfo/$app_id.metainfo.xml
[ -f "$desktop" ] || fail "no desktop entry at ${desktop#"$root"}"
[ -f "$metainfo" ] || fail "no AppStream metadata at ${metainfo#"$root"}"

# desktop-file-validate exits 0 on mere warnings; those count here too.
if ! report=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$report" ]; then
    fail "desktop-file-validate: $report"
fi
echo "desktop-file-validate: no complaint"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate rejected the metadata"
# The tree check also finds the desktop entry that the metadata's launchable names.
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree rejected the tree"

entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Icon)" = "$app_id" ] || fail "Icon=$(entry Icon), expected the application id $app_id"
for size in 16 32 48 64 128 256; do
    icon=$usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    [ -f "$icon" ] || fail "icon missing: ${icon#"$root"}"
    [[ $(file -b "$icon") == "PNG image data, $size x $size,"* ]] ||
        fail "${icon#"$root"} is not a ${size}x${size} PNG: $(file -b "$icon")"
done

exe=$(entry Exec)
exe=${exe%% *}
[ -x "$usr/bin/$exe" ] || fail "Exec=$exe, but there is no usr/bin/$exe"
# Qt names the window's WM_CLASS after the executable, and docks match the entry by it.
[ "$(entry StartupWMClass)" = "$exe" ] ||
    fail "StartupWMClass=$(entry StartupWMClass) will not match the window's WM_CLASS $exe"

echo "PASS: desktop entry, icons and AppStream metadata of $app_id"
