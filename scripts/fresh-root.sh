#!/usr/bin/env bash
# Tries the README's commands as a newcomer would: in a fresh minimal Debian 12 root, as root
# with a clean environment (C locale, no sudo), and looks at the windows from outside.
#   1. scripts/run.sh --demo   the window maps at 400x370 and its status bar turns green;
#   2. scripts/run.sh          the window maps with the red bar;
#   3. scripts/test.sh         passes;
#   4. scripts/install.sh --deb  installs the program.
# Prints how long apt, the build and the tests took in each. Needs root (chroot, mounts).
#
# Usage: scripts/fresh-root.sh [checkout]   (default: this one; its tracked files are copied)
# The debootstrapped base is kept in $ORV_FRESH_CACHE (default /var/cache/orvcontrol/fresh-root)
# and reused; delete it to start from nothing. Screenshots and logs go to build-fresh-root/.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
src=$(cd "${1:-$here}" && pwd)
cache=${ORV_FRESH_CACHE:-/var/cache/orvcontrol/fresh-root}
out=$here/build-fresh-root

# 77: this machine cannot do it at all (not root, or no mount namespaces).
[ "$(id -u)" -eq 0 ] || { echo "fresh-root.sh: needs root (debootstrap, chroot, mounts)" >&2; exit 77; }
unshare --mount true 2>/dev/null || { echo "fresh-root.sh: no private mount namespace here" >&2; exit 77; }
# Every mount below lives in a private namespace: none can leak to the host, even on a crash.
if [ -z "${ORV_FRESH_NS:-}" ]; then
    "$here/scripts/deps.sh" fresh-root
    exec env ORV_FRESH_NS=1 unshare --mount --propagation private "$0" "$@"
fi

# The host's own mirror and apt settings: the root reaches the archive as this machine does.
mirror() {
    local uri
    uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
    [ -n "$uri" ] || uri=$(awk '$1 == "deb" {for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) {print $i; exit}}' \
        /etc/apt/sources.list 2>/dev/null || true)
    [ -n "$uri" ] || { echo "fresh-root.sh: no Debian mirror in /etc/apt" >&2; return 1; }
    echo "$uri"
}
copy_apt_sources() { # <root>
    rm -f "$1/etc/apt/sources.list"
    cp /etc/apt/sources.list "$1/etc/apt/" 2>/dev/null || true
    cp /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list "$1/etc/apt/sources.list.d/" \
        2>/dev/null || true
    # Only settings about reaching the archive (proxies, snapshot dates), nothing else.
    grep -l '^[^/#]*Acquire::' /etc/apt/apt.conf.d/* 2>/dev/null |
        xargs -r cp -t "$1/etc/apt/apt.conf.d/"
    cp /etc/resolv.conf "$1/etc/resolv.conf"
}

if [ ! -e "$cache/base/etc/debian_version" ]; then
    echo "== debootstrap --variant=minbase bookworm (cached in $cache)"
    rm -rf "$cache/base.new"
    mkdir -p "$cache"
    t0=$SECONDS
    debootstrap --variant=minbase bookworm "$cache/base.new" "$(mirror)" >"$cache/debootstrap.log" 2>&1 ||
        { tail -n 30 "$cache/debootstrap.log"; exit 1; }
    mv "$cache/base.new" "$cache/base"
    echo "debootstrap: $((SECONDS - t0)) s"
fi

work=$(mktemp -d /var/tmp/orv-fresh.XXXXXX)
root=$work/root
xvfb=""
rm -rf "$out"
mkdir -p "$out"

# Every process whose root is the fresh root: what a command left running there.
root_pids() {
    local p
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && echo "${p#/proc/}"
    done
    return 0
}
stop_root_processes() {
    local pids
    for sig in TERM KILL; do
        pids=$(root_pids)
        [ -z "$pids" ] && return 0
        kill -s "$sig" $pids 2>/dev/null || true
        for _ in $(seq 50); do [ -z "$(root_pids)" ] && return 0; sleep 0.1; done
    done
}
teardown() {
    stop_root_processes
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    umount -R "$root" 2>/dev/null || true
    if grep -q " $root" /proc/self/mounts; then
        echo "fresh-root.sh: still mounted under $root; left $work in place" >&2
    else
        rm -rf --one-file-system "$work"
    fi
}
trap teardown EXIT
trap 'exit 143' TERM INT HUP

cp -a "$cache/base" "$root"
copy_apt_sources "$root"
mkdir -p "$root/root/orvcontrol"
git -C "$src" ls-files -z --cached --others --exclude-standard | (cd "$src" && tar --null -T - -cf -) | tar -xf - -C "$root/root/orvcontrol"
echo "== checkout $(git -C "$src" describe --always --dirty) copied into a fresh root"

# A mount point of its own, so that a test inside may unshare its mounts too.
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
mount --bind "$root/dev/pts/ptmx" "$root/dev/ptmx"

# Prefixes each line with the seconds since the epoch, for the phase times.
stamp() { while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done; }
# inside <log> <command line>: runs it in the root as a newcomer's login shell would, in a
# session of its own; the output, stamped, goes to <log>.
inside() {
    local log=$1
    shift
    setsid chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        TERM=dumb ${DISPLAY:+DISPLAY=$DISPLAY} bash -c "cd /root/orvcontrol && $*" </dev/null 2>&1 |
        stamp >"$log"
}
# phases <log> <start> <end marker> <last phase>: apt, build and the last phase, split at
# build.sh's first line and at <end marker> (the program's start, or ctest's first line).
phases() {
    awk -v t0="$2" -v end="$3" -v last="$4" -v t1="$EPOCHREALTIME" '
        b == "" && /build\.sh: configuring/ { b = $1 }
        e == "" && b != "" && index($0, end) { e = $1 }
        END {
            if (b == "") b = t1
            if (e == "") e = t1
            printf "apt %.0f s, build %.0f s, %s %.0f s\n", b - t0, e - b, last, t1 - e
        }' "$1"
}
fail() { # <log> <message>
    echo "--- last lines of the output:"
    tail -n 40 "$1" | cut -d' ' -f2-
    echo "FAIL: $2" >&2
    exit 1
}

# find_window <pattern>: the id of the visible window whose title matches, or nothing.
find_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true; }
# shoot <window> <png>: the window as it appears on the screen; prints its size as WxH.
shoot() {
    local X Y WIDTH HEIGHT WINDOW SCREEN
    eval "$(xdotool getwindowgeometry --shell "$1")"
    import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$2"
    echo "${WIDTH}x${HEIGHT}"
}
# bar_share <png> <colour>: the share of the status bar's pixels that have that colour; its
# texts cover about a fifth of it.
bar_share() {
    convert "$1" -gravity south -crop 0x8+0+2 +repage -fuzz 8% -fill white -opaque "$2" \
        -fill black +opaque white -format '%[fx:mean]' info:
}

# window_run <name> <command> <title pattern> <colour>: starts the command, waits for its window
# (apt and the build come first), checks its size and that the bar takes the colour, then ends it.
window_run() {
    local name=$1 cmd=$2 title=$3 colour=$4 log=$out/$1.log t0=$EPOCHREALTIME win="" size share=0
    echo "== $cmd"
    inside "$log" "$cmd" 2>/dev/null &
    local runner=$!
    for _ in $(seq 1800); do
        win=$(find_window "$title")
        [ -n "$win" ] && break
        kill -0 "$runner" 2>/dev/null || fail "$log" "'$cmd' ended without a window"
        sleep 0.5
    done
    [ -n "$win" ] || fail "$log" "no window from '$cmd' after 15 minutes"
    echo "window mapped after $(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN {printf "%.0f", b - a}') s: $(phases "$log" "$t0" "run.sh: starting" "start-up")"
    # The simulated ORV appears a second after start; its fifteen answers take 1.6 s more.
    for _ in $(seq 20); do
        size=$(shoot "$win" "$out/$name.png")
        share=$(bar_share "$out/$name.png" "$colour")
        awk -v s="$share" 'BEGIN { exit !(s > 0.6) }' && break
        sleep 0.5
    done
    echo "window $size, status bar $colour on $share of its pixels ($out/$name.png)"
    [ "$size" = 400x370 ] || fail "$log" "the window is $size, not 400x370"
    awk -v s="$share" 'BEGIN { exit !(s > 0.6) }' || fail "$log" "the status bar is not $colour"
    stop_root_processes
    wait "$runner" 2>/dev/null || true
    for _ in $(seq 50); do [ -z "$(find_window "$title")" ] && break; sleep 0.1; done
}

for cmd in "scripts/run.sh --demo" "scripts/run.sh" "scripts/test.sh" "scripts/install.sh --deb"; do
    grep -qF "$cmd" "$root/root/orvcontrol/README.md" || { echo "FAIL: the README no longer says $cmd" >&2; exit 1; }
done

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"

window_run demo "scripts/run.sh --demo" 'ORVcontrol.*simulation' 'rgb(30,200,40)'
window_run nodevice "scripts/run.sh" '^ORVcontrol v[0-9.]*$' 'rgb(200,20,20)'

# The suite starts X servers of its own.
umount "$root/tmp/.X11-unix"
kill "$xvfb"
xvfb=""
unset DISPLAY

echo "== scripts/test.sh"
t0=$EPOCHREALTIME
if ! inside "$out/test.log" scripts/test.sh; then
    fail "$out/test.log" "scripts/test.sh failed"
fi
grep -E 'tests passed|Total Test time' "$out/test.log" | cut -d' ' -f2-
echo "scripts/test.sh: $(phases "$out/test.log" "$t0" "Test project" tests)"
echo "== scripts/install.sh --deb"
inside "$out/install.log" "scripts/install.sh --deb" || fail "$out/install.log" "scripts/install.sh --deb failed"
[ -x "$root/usr/bin/orvcontrol" ] || fail "$out/install.log" "the package put no /usr/bin/orvcontrol in place"
echo "PASS: the README's commands work on a fresh Debian 12 root"
