# as_root <command>...: runs it as root: directly when we are root, through sudo otherwise.
# Source it.
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
