# Shared by the scripts that look at the window on Wayland: a private headless weston. Source
# it; the caller keeps $weston to clean up.

# start_weston <runtime dir, 0700> <socket name> [weston option]...: weston's headless backend,
# drawing with pixman (no GPU), with --debug so that weston-screenshooter may take pictures; its
# log goes to <runtime dir>/weston.log. Returns once the socket exists.
start_weston() {
    XDG_RUNTIME_DIR=$1 weston --backend=headless-backend.so --use-pixman --width=1024 "${@:3}" \
        --height=768 --no-config --idle-time=0 --debug --socket="$2" --log="$1/weston.log" \
        </dev/null >/dev/null 2>&1 &
    weston=$!
    for _ in $(seq 100); do [ -S "$1/$2" ] && return 0; sleep 0.1; done
    echo "weston did not start" >&2
    return 1
}
