# Shared by the scripts that look at the real window: a private X server and a wait for the
# window. Source it; the caller keeps $xvfb and $app to clean up.

# start_xvfb <workdir> <WxH>: starts Xvfb on a free display and exports DISPLAY. -noreset: a
# server that resets whenever its last client leaves (the window polling does, often) can
# refuse the next program while it does. -dpi 96: what Xorg reports on a desktop; Xvfb's own
# 100 would enlarge the point-sized text under Qt 5 (Qt 6 takes 96 regardless). Its messages
# go to <workdir>/xvfb.log. Only clients that hold its cookie, in <workdir>/Xauthority (exported
# as XAUTHORITY), get in: the workdir must be private to the caller.
start_xvfb() {
    local cookie name
    cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
    name=$(printf MIT-MAGIC-COOKIE-1 | od -An -tx1 | tr -d ' \n')
    # An entry for any display (family ffff, no address, no number): the server picks its
    # display only once it runs. Each field after its length, in hex. (xauth complains about a
    # file that does not exist yet.)
    (umask 077 && : >"$1/Xauthority")
    echo "ffff 0000  0000  0012 $name 0010 $cookie" | xauth -q -f "$1/Xauthority" nmerge - ||
        return 1
    export XAUTHORITY=$1/Xauthority
    Xvfb -displayfd 3 -auth "$XAUTHORITY" -screen 0 "$2x24" -nolisten tcp -noreset -dpi 96 \
        3>"$1/display" 2>"$1/xvfb.log" &
    xvfb=$!
    for _ in $(seq 100); do
        kill -0 "$xvfb" 2>/dev/null || break
        [ -s "$1/display" ] && break
        sleep 0.1
    done
    [ -s "$1/display" ] && kill -0 "$xvfb" 2>/dev/null ||
        { cat "$1/xvfb.log" >&2; echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$(cat "$1/display")" XDG_RUNTIME_DIR="$1"
    unset QT_QPA_PLATFORM
}

# wait_window: prints the id of the ORVcontrol window once it is viewable. xdotool, because
# xwininfo cannot print the demo's non-ASCII title in the C locale.
wait_window() {
    local win=""
    for _ in $(seq 150); do
        win=$(xdotool search --onlyvisible --name '^ORVcontrol v' 2>/dev/null | head -n 1 || true)
        [ -n "$win" ] && { echo "$win"; return 0; }
        sleep 0.1
    done
    echo "the window never appeared" >&2
    if [ -n "${xvfb:-}" ] && ! kill -0 "$xvfb" 2>/dev/null; then echo "Xvfb has exited" >&2; fi
    return 1
}

# window_size <id>: WxH
window_size() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    echo "${WIDTH}x${HEIGHT}"
}
