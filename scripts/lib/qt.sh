# Which Qt a build is made against, and where it goes. --qt5 or --qt6 chooses; otherwise the
# release's default: Qt 6 where Debian ships 6.8 or later (13 on), which draws a Wayland
# window's frame without a GL driver; Qt 5 on 12, where Qt 6.4 starts slower and is no lighter.

# qt_default [os-release file]: 5 or 6. testing and unstable have no VERSION_ID.
qt_default() (
    ID="" VERSION_ID=99
    . "${1:-/etc/os-release}" 2>/dev/null || true
    [ "$ID" = debian ] && [ "${VERSION_ID%%.*}" -ge 13 ] 2>/dev/null && echo 6 || echo 5
)

# qt_select <root> [--qt5|--qt6]: sets qt and qt_build: build/ for the default Qt, build-qt5/
# or build-qt6/ for the other; $ORV_BUILD_DIR wins over both.
qt_select() {
    local default
    default=$(qt_default)
    qt=${2#--qt} qt=${qt:-$default} qt_build=$1/build
    [ "$qt" = "$default" ] || qt_build=$1/build-qt$qt
    qt_build=${ORV_BUILD_DIR:-$qt_build}
}
