#!/usr/bin/env bash
# Builds the Debian package from the build tree with CPack, then checks its control fields,
# its dependencies (as dpkg-shlibdeps found them) and the tree it unpacks to.
# Usage: check-deb.sh BUILD_DIR APP_ID VERSION
set -euo pipefail
build=$1
app_id=$2
version=$3

fail() { echo "FAIL: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null || fail "$1 not found: install $2 (scripts/deps.sh test)"; }
need cpack cmake
need dpkg-deb dpkg
need dpkg-shlibdeps dpkg-dev
need readelf binutils
need file file

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A scratch output directory: the build tree keeps no package, and runs never see each other's.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack -G DEB failed"; }
shopt -s nullglob
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one .deb from cpack, got ${#debs[@]}"
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "orvcontrol_${version}_$arch.deb" ] ||
    fail "package file is $(basename "$deb"), expected orvcontrol_${version}_$arch.deb"

echo "== dpkg-deb -I"
dpkg-deb -I "$deb"
echo "== dpkg-deb -c"
dpkg-deb -c "$deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = orvcontrol ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), the project is $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"

depends=$(field Depends)
has_dep() { [[ ", $depends," =~ ,\ "$1"[\ ,] ]]; }
for pkg in libhidapi-hidraw0 libqt5widgets5 libqt5core5a libc6; do
    has_dep "$pkg" || fail "Depends lacks $pkg: $depends"
done
# The program must talk to the ORV through hidraw, never the libusb back end or the test doubles.
for pkg in libhidapi-libusb0 libumockdev0 libqt5test5; do
    if has_dep "$pkg"; then fail "Depends names $pkg: $depends"; fi
done

root=$work/root
dpkg-deb -x "$deb" "$root"
while read -r path; do
    case $path in
        ./usr/local/*) fail "$path: a package installs under /usr, not /usr/local" ;;
        ./usr/*) ;;
        *) fail "$path: outside /usr" ;;
    esac
done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$')

expect=(
    usr/bin/orvcontrol
    "usr/share/applications/$app_id.desktop"
    "usr/share/metainfo/$app_id.metainfo.xml"
    usr/lib/udev/rules.d/70-orvcontrol.rules
)
for size in 16 32 48 64 128 256; do
    expect+=("usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
for path in "${expect[@]}"; do
    [ -f "$root/$path" ] || fail "/$path is not in the package"
done

[[ $(file -b "$root/usr/bin/orvcontrol") == ELF*executable* ]] ||
    fail "/usr/bin/orvcontrol is not an executable: $(file -b "$root/usr/bin/orvcontrol")"
[ -x "$root/usr/bin/orvcontrol" ] || fail "/usr/bin/orvcontrol is not executable"
# The build tree's run path must not survive into the installed program.
runpath=$(readelf -d "$root/usr/bin/orvcontrol" | grep -E 'R(UN)?PATH' || true)
[[ $runpath != *"$build"* ]] ||
    fail "/usr/bin/orvcontrol keeps a run path into the build tree: $runpath"
echo "PASS: $(basename "$deb") (Depends: $depends)"
