# Sourced by every script that builds, installs or runs as root. Root works only in a checkout
# that root owns: in anyone else's, whatever they left there (build files, a package, git's
# settings) would run or be installed as root.
if [ "$(id -u)" -eq 0 ]; then
    orv_checkout=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    orv_foreign=$(find "$orv_checkout" ${ORV_BUILD_DIR:+"$ORV_BUILD_DIR"} ! -user 0 -print -quit 2>/dev/null || true)
    if [ -n "$orv_foreign" ]; then
        orv_owner=$(stat -c %U "$orv_foreign")
        echo "$(basename "$0"): refusing to work as root in $orv_checkout, which holds files of $orv_owner ($orv_foreign): run the scripts as $orv_owner, they call sudo for the packages themselves" >&2
        exit 1
    fi
fi

# as_root <command>...: runs it as root: directly when we are root, through sudo otherwise.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        echo "$(basename "$0"): needs root or sudo for: $*" >&2
        return 1
    fi
}
