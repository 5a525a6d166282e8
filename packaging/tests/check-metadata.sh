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
# appstreamcli exits 0 on warnings too, and its text report changed with 1.0; its YAML report
# gives every issue a severity from 0.16 to 1.2. Warnings and errors fail, infos and pedantic
# hints pass (the validator does not know the .invalid TLD of the id: an info).
appstream() { # <validate|validate-tree> <path>
    local out bad
    out=$(appstreamcli "$1" --no-net --format yaml "$2" 2>&1) || fail "appstreamcli $1: $out"
    bad=$(awk '/^- tag: / { tag = $3 }
        /^  severity: / { n++; if ($2 !~ /^(error|warning|info|pedantic)$/) print "unknown severity " $2
            else if ($2 ~ /^(error|warning)$/) print $2 " " tag }
        /^- tag: / { t++ }
        END { if (n != t) print "an issue without a severity"; if (!NR) print "no report" }' <<<"$out")
    [ -z "$bad" ] || fail "appstreamcli $1: $(tr '\n' ';' <<<"$bad")"$'\n'"$out"
}
appstream validate "$usr/share/metainfo/$app_id.metainfo.xml"
# The tree check also finds the desktop entry that the metadata's launchable names.
appstream validate-tree "$work/root"

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
