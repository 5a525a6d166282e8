#!/usr/bin/env bash
# Tries the README's commands as a newcomer would, on fresh minimal Debian roots: as root with a
# clean environment (C locale, no sudo), looking at the windows from outside. In each root:
#   1. scripts/run.sh --demo      the window maps at 400x370 and its status bar turns green;
#   2. scripts/run.sh             the window maps with the red bar;
#   3. scripts/test.sh            passes, with no test skipped;
#   4. scripts/install.sh --deb   installs the program; until then, nothing of the other Qt
#                                 than the release's default is installed;
#   5. scripts/test.sh --qt5 or --qt6, for that other Qt, passes too.
# Prints how long mmdebstrap, apt, the build and the tests took.
#
# Usage: scripts/fresh-root.sh [RELEASE]...   (12, 13 or testing; default: all three)
# mmdebstrap makes each root from the Debian mirror of this machine's apt sources; bubblewrap
# runs the commands in it, in a PID namespace of their own, so that nothing they start outlives
# them, and nothing is mounted outside it. Where root may not make namespaces (no
# CAP_SYS_ADMIN, in a container say), all of this runs as root of a user namespace that maps
# this machine's ids onto themselves (route userns); elsewhere as root itself (route root).
# Exits 77, with the reason in one line, where neither works. Screenshots and logs go to
# build-fresh-root/<release>/.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$here/scripts/lib/root.sh"
. "$here/scripts/lib/x11.sh"
. "$here/scripts/lib/qt.sh"
me=fresh-root.sh
say() { echo "$me: $*" >&2; }

# Set before anything starts: every exit, a signal's too, goes through the one clean-up, which
# ends only what this run started: its own children that still run.
work="" xvfb=""
cleanup() {
    local rc=$?
    trap '' INT TERM HUP # a second signal must not cut the clean-up short
    set +e
    kill $(jobs -p) 2>/dev/null
    wait
    [ -z "$work" ] || rm -rf --one-file-system "$work"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 129' HUP; trap 'exit 130' INT; trap 'exit 143' TERM

# bg <command>...: runs it in the background and waits for it, so that a signal is acted on at
# once rather than when the command ends.
bg() {
    "$@" &
    wait $!
}

# in_userns <command>...: runs it as root of a new user namespace in which this machine's first
# 65536 user and group ids stand for themselves, so that files keep their owners and apt and
# dpkg may change users. newuidmap maps only a user's subordinate ids, and root has none: root
# writes the maps itself, which takes CAP_SETUID, CAP_SETGID and CAP_SETFCAP, not CAP_SYS_ADMIN.
# Without --fork, the command is this job itself, and a signal to it reaches the command.
in_userns() {
    local ns pid
    ns=$(readlink /proc/self/ns/user)
    unshare --user bash -c 'for _ in $(seq 200); do
        [ -n "$(cat /proc/self/gid_map)" ] && exec "$@"; sleep 0.05; done; exit 125' bash "$@" &
    pid=$!
    while kill -0 "$pid" 2>/dev/null && [ "$(readlink "/proc/$pid/ns/user")" = "$ns" ]; do sleep 0.05; done
    { echo "0 0 65536" >"/proc/$pid/uid_map" && echo "0 0 65536" >"/proc/$pid/gid_map"; } 2>/dev/null ||
        kill "$pid" 2>/dev/null
    wait "$pid"
}

# --- What a release is, and where apt finds it ----------------------------------------------

release() { # <name>: sets suite, the suites of its sources, and whether its Release files expire
    case $1 in
    12 | bookworm) suite=bookworm suites="bookworm bookworm-updates" security=yes expires=no ;;
    13 | trixie) suite=trixie suites="trixie trixie-updates" security=yes expires=no ;;
    testing) suite=testing suites=testing security=no expires=yes ;; # a snapshot outlives them
    *) say "unknown release '$1' (12, 13 or testing)"; exit 2 ;;
    esac
}
# debian_site <label>: the Debian archive (Debian) or security archive (Debian-Security) that this
# machine's apt uses, as apt itself reads its sources; never another vendor's.
debian_site() {
    apt-get indextargets --format '$(SITE) $(ORIGIN) $(LABEL)' 'Created-By: Packages' |
        awk -v l="$1" '$2 == "Debian" && $3 == l { print $1; exit }'
}
# The settings this machine reaches the archive with (proxies, a snapshot's dates), as apt reads them.
apt_access() {
    apt-config dump |
        grep -E '^Acquire::((https?|ftp)::Proxy|Check-Valid-Until|Check-Date|Retries)( |::)' || true
}

# --- Running in the root ---------------------------------------------------------------------

# inside <log> <command line>: runs it in the root as a newcomer's login shell would, under
# bubblewrap: the root's own /dev, /proc of its PID namespace, the host's /sys read only; the
# X server's abstract socket is reached through the shared network. The output, stamped, goes
# to <log>.
inside() {
    local log=$1
    shift
    bwrap --bind "$root" / --dev /dev --proc /proc --ro-bind /sys /sys \
        --ro-bind /etc/resolv.conf /etc/resolv.conf --unshare-pid --die-with-parent --new-session \
        --clearenv --setenv HOME /root --setenv PATH /usr/sbin:/usr/bin:/sbin:/bin --setenv TERM dumb \
        ${DISPLAY:+--setenv DISPLAY "$DISPLAY" --setenv XAUTHORITY /root/.Xauthority} \
        --chdir /root/orvcontrol bash -c "$*" </dev/null 2>&1 | stamp >"$log"
}
# Prefixes each line with the seconds since the epoch, for the phase times.
stamp() { while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done; }
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
    say "FAIL ($suite): $2"
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
# (apt and the build come first), checks its size and that the bar takes the colour, then ends
# it: its sandbox, and everything in it, dies with the shell that started it.
window_run() {
    local name=$1 cmd=$2 title=$3 colour=$4 log=$out/$1.log t0=$EPOCHREALTIME win="" size share=0
    echo "== $cmd"
    inside "$log" "$cmd" 2>/dev/null & # its shell would report the program's end
    local runner=$!
    for _ in $(seq 1800); do
        win=$(find_window "$title")
        [ -n "$win" ] && break
        kill -0 "$runner" 2>/dev/null || fail "$log" "'$cmd' ended without a window"
        sleep 0.5
    done
    [ -n "$win" ] || fail "$log" "no window from '$cmd' after 15 minutes"
    echo "window mapped after $(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN {printf "%.0f", b - a}') s:" \
        "$(phases "$log" "$t0" "run.sh: starting" "start-up")"
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
    kill "$runner"
    wait "$runner" 2>/dev/null || true
    for _ in $(seq 50); do [ -z "$(find_window "$title")" ] && break; sleep 0.1; done
}

# suite_run <name> <command>: the command passes, and skips no test.
suite_run() {
    local log=$out/$1.log t0=$EPOCHREALTIME
    echo "== $2"
    bg inside "$log" "$2" || fail "$log" "$2 failed"
    grep -E 'tests passed|Total Test time' "$log" | cut -d' ' -f2-
    ! grep -q '\*\*\*Skipped' "$log" ||
        fail "$log" "$2 skipped: $(grep -o '[A-Za-z0-9_]* \.*\*\*\*Skipped' "$log" | tr '\n' ' ')"
    echo "$2: $(phases "$log" "$t0" "Test project" tests)"
}

# try_root <release>: every check, in one fresh root.
try_root() {
    local t0=$SECONDS mirror sec="" s sources=() aptopts=()
    release "$1"
    mirror=$(debian_site Debian)
    [ "$security" = no ] || sec=$(debian_site Debian-Security)
    [ -n "$mirror" ] || { say "no Debian archive in this machine's apt sources"; exit 1; }
    for s in $suites; do sources+=("deb $mirror $s main"); done
    [ -z "$sec" ] || sources+=("deb $sec $suite-security main")
    while IFS= read -r s; do aptopts+=("--aptopt=$s"); done < <(apt_access
        [ "$expires" = no ] || echo 'Acquire::Check-Valid-Until "false";')
    work=$(mktemp -d /var/tmp/orv-fresh.XXXXXX)
    root=$work/root out=$here/build-fresh-root/$suite
    rm -rf "$out" && mkdir -p "$out"
    echo "== mmdebstrap --variant=minbase $suite ($route)"
    bg mmdebstrap --quiet --mode=unshare --variant=minbase "${aptopts[@]}" "$suite" "$root" \
        "${sources[@]}" >"$out/mmdebstrap.log" 2>&1 ||
        { tail -n 30 "$out/mmdebstrap.log"; say "mmdebstrap of $suite failed"; exit 1; }
    echo "mmdebstrap: $((SECONDS - t0)) s"
    # The checkout as git lists it, root's as everything here: nothing of a build comes along.
    mkdir "$root/root/orvcontrol"
    git -C "$here" ls-files -z --cached --others --exclude-standard |
        (cd "$here" && tar --null -T - -cf -) | tar -xf - -C "$root/root/orvcontrol"
    echo "== $suite: checkout $(git -C "$here" describe --always --dirty) copied into a fresh root ($route)"

    start_xvfb "$work" 1024x768 || exit 1
    install -m 600 "$XAUTHORITY" "$root/root/.Xauthority" # the cookie, for the root's programs
    window_run demo "scripts/run.sh --demo" 'ORVcontrol.*simulation' 'rgb(30,200,40)'
    window_run nodevice "scripts/run.sh" '^ORVcontrol v[0-9.]*$' 'rgb(200,20,20)'
    kill "$xvfb" # the suite starts X servers of its own
    wait "$xvfb" 2>/dev/null || true
    xvfb=""
    unset DISPLAY XAUTHORITY
    suite_run test "scripts/test.sh"
    echo "== scripts/install.sh --deb"
    bg inside "$out/install.log" "scripts/install.sh --deb" ||
        fail "$out/install.log" "scripts/install.sh --deb failed"
    [ -x "$root/usr/bin/orvcontrol" ] ||
        fail "$out/install.log" "the package put no /usr/bin/orvcontrol in place"
    # Everything so far took the release's default Qt, and nothing of the other.
    local qt other q=(dpkg-query --admindir="$root/var/lib/dpkg" -W -f '${db:Status-Abbrev} ${Package} ${Depends}\n')
    qt=$(qt_default "$root/etc/os-release") other=$((11 - qt))
    "${q[@]}" orvcontrol | grep -q "libqt${qt}core" || fail "$out/install.log" "the package is not Qt $qt's"
    ! "${q[@]}" "*qt$other*" 2>/dev/null | grep '^ii' >"$out/qt$other.txt" || fail "$out/qt$other.txt" "Qt $other came along"
    suite_run "test-qt$other" "scripts/test.sh --qt$other"
    echo "PASS: the README's commands work on a fresh $suite root ($route, $((SECONDS - t0)) s)"
    rm -rf --one-file-system "$work"
    work=""
}

route="" releases=()
while [ $# -gt 0 ]; do
    case $1 in
    --route) route=${2:-}; shift ;; # how the user namespace hands the work back to this script
    -h | --help) sed -n '2,19p' "$0"; exit 0 ;;
    *) releases+=("$1") ;;
    esac
    shift
done
[ ${#releases[@]} -gt 0 ] || releases=(12 13 testing)
for r in "${releases[@]}"; do release "$r"; done # unknown names fail before any work
for s in "scripts/run.sh --demo" "scripts/run.sh" "scripts/test.sh" "scripts/install.sh --deb"; do
    grep -qF "$s" "$here/README.md" || { say "the README no longer says $s"; exit 1; }
done

if [ -z "$route" ]; then
    [ "$(id -u)" -eq 0 ] || { say "no route: needs root (mmdebstrap, apt in the root)"; exit 77; }
    "$here/scripts/deps.sh" fresh-root
    probe=(bwrap --bind / / --dev /dev --proc /proc --unshare-pid true)
    if "${probe[@]}" 2>/dev/null; then
        route=root
    elif in_userns "${probe[@]}" 2>/dev/null; then
        in_userns "$0" --route userns "${releases[@]}"
        exit
    else
        say "no route: bubblewrap may make no namespaces here, as root (no CAP_SYS_ADMIN)" \
            "nor as root of a user namespace"
        exit 77
    fi
fi
echo "== $me: route $route, releases ${releases[*]}"
for r in "${releases[@]}"; do try_root "$r"; done
