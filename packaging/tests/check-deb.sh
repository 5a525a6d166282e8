#!/usr/bin/env bash
# Builds the Debian package from the build tree with CPack, then checks its control fields,
# its dependencies (as dpkg-shlibdeps found them), its maintainer scripts and the tree it
# unpacks to.
# Usage: check-deb.sh BUILD_DIR APP_ID VERSION QT_MAJOR
set -euo pipefail
build=$1 app_id=$2 version=$3 qt=$4
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A scratch output directory: the build tree keeps no package, and runs never see each other's.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack -G DEB failed"; }
arch=$(dpkg --print-architecture)
debs=$(cd "$work/out" && echo *.deb)
[ "$debs" = "orvcontrol_${version}_$arch.deb" ] || fail "cpack made $debs"
deb=$work/out/$debs

depends=$(dpkg-deb -f "$deb" Depends)
has_dep() { [[ ", $depends," =~ ,\ "$1"[\ ,] ]]; }
root=$work/root
dpkg-deb -R "$deb" "$root"
exe=$root/usr/bin/orvcontrol
[[ -x $exe && $(file -b "$exe") == ELF*executable* ]] || fail "$(file -b "$exe") at /usr/bin/orvcontrol"

# Library package names differ between releases (Debian 13 renamed many for 64-bit time_t), so
# the names come from this system.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
needed=$(readelf -d "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
# Linked, and brought by the package: the installed package that ships it (under /lib or
# /usr/lib) is among its dependencies.
for so in "libQt${qt}Widgets.so.$qt" libhidapi-hidraw.so.0; do
    grep -qxF "$so" <<<"$needed" || fail "the program does not link $so: $(echo $needed)"
    pkg=$(dpkg -S "*/$multiarch/$so" 2>/dev/null | sed -n '1s/^\([^ :,]*\)[:,].*/\1/p')
    [ -n "$pkg" ] && has_dep "$pkg" || fail "Depends lacks ${pkg:-a package for $so}: $depends"
done
# orvctl runs without a display: Qt Core only.
! readelf -d "$root/usr/bin/orvctl" | grep -q "libQt${qt}\(Gui\|Widgets\)" || fail "orvctl links a GUI library"
# The program must talk to the ORV through hidraw, never the libusb back end or the test doubles.
for so in libhidapi-libusb.so.0 libumockdev.so.0 "libQt${qt}Test.so.$qt"; do
    ! grep -qxF "$so" <<<"$needed" || fail "the program links $so"
done
[ "$qt" = 5 ] && wayland=qtwayland5 || wayland=qt6-wayland
recommends=$(dpkg-deb -f "$deb" Recommends)
[ "$recommends" = "$wayland" ] || fail "Recommends '$recommends', not the Wayland plugin $wayland"

stray=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | awk '!/\/$/ && (!/^\.\/usr\// || /^\.\/usr\/local\//)')
[ -z "$stray" ] || fail "installed outside /usr, or under /usr/local: $stray"
for path in usr/bin/orvcontrol usr/bin/orvctl usr/share/man/man1/orvctl.1.gz \
    usr/share/bash-completion/completions/orvctl usr/lib/udev/rules.d/70-orvcontrol.rules \
    "usr/share/applications/$app_id.desktop" "usr/share/metainfo/$app_id.metainfo.xml" \
    usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/"$app_id.png"; do
    [ -f "$root/$path" ] || fail "/$path is not in the package"
done
# They reload the udev rules on installation and removal.
[[ -x $root/DEBIAN/postinst && -x $root/DEBIAN/postrm ]] || fail "no executable postinst and postrm"
# The build tree's run path must not survive into the installed program.
[[ $(readelf -d "$exe") != *"$build"* ]] || fail "/usr/bin/orvcontrol keeps a run path to $build"
echo "PASS: $debs (Depends: $depends)"
