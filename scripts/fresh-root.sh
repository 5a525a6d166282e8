#!/usr/bin/env bash
# Tries the README's commands as a newcomer would, on fresh minimal Debian roots: as root with a
# clean environment (C locale, no sudo), looking at the windows from outside. In each root:
#   1. scripts/run.sh --demo      the window maps at 400x370 and its status bar turns green;
#   2. scripts/run.sh             the window maps with the red bar;
#   3. scripts/test.sh, then scripts/test.sh --qt6   pass, with no test skipped;
#   4. scripts/install.sh --deb   installs the program.
# Prints how long debootstrap, apt, the build and the tests took.
#
# Usage: scripts/fresh-root.sh [--route chroot|userns] [--checkout DIR] [RELEASE]...
#   RELEASE: 12 (bookworm), 13 (trixie) or testing; default: all three, in that order.
#   Both routes chroot into the root from private mount and PID namespaces: chroot needs
#   CAP_SYS_ADMIN and CAP_SYS_CHROOT; userns, where those are refused, makes them in a user
#   namespace of its own. The first that works is taken, and named.
# Exits 77, with the reason in one line, when no route works here.
# Bases are kept in $ORV_FRESH_CACHE (default /var/cache/orvcontrol/fresh-root)/<suite>/base;
# delete one to start from nothing. Screenshots and logs go to build-fresh-root/<suite>/.
set -euo pipefail

# Set before anything runs: a signal at any point ends the run through the one clean-up.
work="" xvfb="" unshared="" route="" base_tmp="" ending=""
children=()
on_signal() { # <exit status>
    trap '' INT TERM HUP
    # A signal that was already on its way runs this again: the clean-up must go on.
    [ -n "$ending" ] && return 0
    exit "$1"
}
trap 'on_signal 130' INT
trap 'on_signal 143' TERM
trap 'on_signal 129' HUP
trap cleanup EXIT

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${ORV_FRESH_CACHE:-/var/cache/orvcontrol/fresh-root}
me=fresh-root.sh
say() { echo "$me: $*" >&2; }
. "$here/scripts/lib/x11.sh"

# bg <command>...: runs it in the background and waits for it, so that a signal is acted on at
# once rather than when the command ends.
bg() {
    "$@" &
    local pid=$! rc=0
    children+=("$pid")
    wait "$pid" || rc=$?
    return "$rc"
}

# Processes started inside the root: every process of our PID namespace whose root is not ours,
# a deeper chroot included; the namespace's end takes any other.
root_pids() {
    # find fails when a process ends under its feet: what it listed stands.
    find /proc -mindepth 2 -maxdepth 2 -path '/proc/[0-9]*/root' ! -lname / 2>/dev/null |
        cut -d/ -f3 || true
}
stop_root_processes() {
    local pids sig
    for sig in TERM KILL; do
        pids=$(root_pids)
        [ -z "$pids" ] && return 0
        kill -s "$sig" $pids 2>/dev/null || true
        for _ in $(seq 50); do [ -z "$(root_pids)" ] && return 0; sleep 0.1; done
    done
    [ -z "$(root_pids)" ] && return 0
    say "processes of the root survived SIGKILL: $(root_pids | tr '\n' ' ')"
    return 1
}

# in_userns <command>...: starts the command as root of new user, mount and PID namespaces in
# which this machine's first 65536 user and group ids stand for themselves (files keep their
# owners, apt and dpkg may change users). Writing the maps takes CAP_SETUID and CAP_SETGID, not
# CAP_SYS_ADMIN. Sets $unshared; the command starts once the maps are in place.
in_userns() {
    local go ns
    go=$(mktemp -u "$work/userns.XXXXXX")
    mkfifo -m 600 "$go"
    unshare --user --mount --pid --fork --mount-proc --propagation private --kill-child=TERM \
        bash -c 'read -r _ <"$0" && rm -f "$0" && exec "$@"' "$go" "$@" &
    unshared=$!
    ns=$(readlink /proc/self/ns/user)
    for _ in $(seq 100); do
        [ "$(readlink "/proc/$unshared/ns/user" 2>/dev/null)" != "$ns" ] && break
        sleep 0.05
    done
    if ! { echo "0 0 65536" >"/proc/$unshared/uid_map" &&
        echo "0 0 65536" >"/proc/$unshared/gid_map"; } 2>/dev/null; then
        kill "$unshared" 2>/dev/null || true
        wait "$unshared" 2>/dev/null || true
        unshared=""
        return 1
    fi
    # Bounded: a fifo's writer waits for a reader that may have died.
    timeout 10 bash -c 'echo go >"$0"' "$go"
}
# in_namespaces <command>...: the command as the first process of private mount and PID
# namespaces, by the route taken, in the background; sets $unshared.
in_namespaces() {
    if [ "$route" = chroot ]; then
        unshare --mount --pid --fork --mount-proc --propagation private --kill-child=TERM "$@" &
        unshared=$!
    else
        in_userns "$@"
    fi
}

# mounted_under <dir>: whether this mount namespace has anything mounted at or below <dir>.
mounted_under() {
    local dir
    dir=$(realpath "$1")
    awk -v d="$dir" '{ gsub(/\\040/, " ", $5) }
        $5 == d || index($5, d "/") == 1 { f = 1 }
        END { exit !f }' /proc/self/mountinfo
}

cleanup() {
    local rc=$?
    ending=yes
    trap '' INT TERM HUP # a second signal must not cut the clean-up short
    set +e               # nor a step that fails
    if [ -n "$unshared" ]; then
        # The namespace's first process cleans up inside; when it ends, the kernel ends every
        # process left there and the mounts go with the namespace. It gets 20 s.
        local first sig
        first=$(pgrep -P "$unshared" || true)
        for sig in TERM KILL; do
            [ -n "$first" ] && kill -s "$sig" $first 2>/dev/null
            for _ in $(seq 200); do kill -0 "$unshared" 2>/dev/null || break; sleep 0.1; done
        done
        wait "$unshared" 2>/dev/null || true
    fi
    # Only inside the namespace: on the host's side, this would find other people's chroots.
    local stopped=yes
    if [ -n "${ORV_FRESH_INNER:-}" ]; then stop_root_processes || stopped=no; fi
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
    if [ ${#children[@]} -gt 0 ]; then kill "${children[@]}" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    if [ -n "$base_tmp" ]; then rm -rf --one-file-system "$base_tmp"; fi
    if [ -n "$work" ] && [ -d "$work" ] && [ -z "${ORV_FRESH_INNER:-}" ]; then
        if [ "$stopped" = no ] || mounted_under "$work"; then
            say "something still runs or is mounted under $work; left it in place"
        else
            rm -rf --one-file-system "$work"
        fi
    fi
    exit "$rc"
}

# --- What a release is -------------------------------------------------------------------

# release <name>: sets suite, the suites of the sources list, and whether its Release files
# expire (testing's do, and a mirror snapshot outlives them).
release() {
    expires=no
    case $1 in
    12 | bookworm) suite=bookworm suites="bookworm bookworm-updates" security=yes ;;
    13 | trixie) suite=trixie suites="trixie trixie-updates" security=yes ;;
    testing) suite=testing suites=testing security=no expires=yes ;;
    *) say "unknown release '$1' (12, 13 or testing)"; exit 2 ;;
    esac
}

# debian_uri [security]: the URI of this machine's Debian entry (the archive, or with
# "security" the security archive), from its apt sources: the entry for this release's own
# suite, never another vendor's, which signs with its own key.
debian_uri() {
    local codename want
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || { say "this machine's /etc/os-release names no Debian release"; return 1; }
    want=$codename${1:+-$1}
    {
        cat /etc/apt/sources.list.d/*.sources 2>/dev/null || true
        echo
        # One-line entries, rewritten as deb822 stanzas.
        sed -n 's/^[[:space:]]*deb[[:space:]]\+\(\[\([^]]*\)\][[:space:]]\+\)\?\([^[:space:]]\+\)[[:space:]]\+\([^[:space:]]\+\).*/Types: deb\nURIs: \3\nSuites: \4\nOptions: \2\n/p' \
            /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true
    } | awk -v want="$want" '
        function flush() {
            if (deb && !disabled && !foreign && uri != "" && (" " suites " ") ~ (" " want " ")) {
                print uri; found = 1; exit
            }
            deb = disabled = foreign = 0; uri = suites = ""
        }
        /^[[:space:]]*$/ { flush(); next }
        /^#/ { next }
        tolower($1) == "types:" && / deb( |$)/ { deb = 1 }
        tolower($1) == "enabled:" && tolower($2) == "no" { disabled = 1 }
        tolower($1) == "uris:" { uri = $2 }
        tolower($1) == "suites:" { $1 = ""; suites = $0 }
        tolower($0) ~ /^(signed-by:|options:.*signed-by=)/ && !/debian-archive-keyring/ &&
            !/^[Oo]ptions:[[:space:]]*$/ { foreign = 1 }
        END { if (!found) flush() }'
}

# apt_access: the settings this machine reaches the archive with (proxies, snapshot dates), as
# apt itself reads them, and nothing else.
apt_access() {
    apt-config dump 2>/dev/null |
        grep -E '^Acquire::((https?|ftp)::Proxy|Check-Valid-Until|Check-Date|Retries)( |::)' || true
}

# --- The base, cached per suite --------------------------------------------------------------

ensure_base() {
    local dir=$cache/$suite script="" t0=$SECONDS
    mkdir -p "$dir"
    exec 8>"$dir/lock"
    flock 8 # one debootstrap per suite at a time; the others wait and reuse it
    if [ ! -e "$dir/base/etc/debian_version" ]; then
        # A release this debootstrap has no script for is made like sid, the newest it knows.
        [ -e "/usr/share/debootstrap/scripts/$suite" ] || script=/usr/share/debootstrap/scripts/sid
        base_tmp=$(mktemp -d "$dir/base.new.XXXXXX")
        echo "== debootstrap --variant=minbase $suite ($route; cached in $dir)"
        if ! bootstrap "$base_tmp" "$script" >"$dir/debootstrap.log" 2>&1; then
            tail -n 30 "$dir/debootstrap.log"
            say "debootstrap of $suite failed (log: $dir/debootstrap.log)"
            exit 1
        fi
        rm -rf --one-file-system "$dir/base"
        mv "$base_tmp" "$dir/base"
        base_tmp=""
        echo "debootstrap: $((SECONDS - t0)) s"
    fi
    exec 8>&-
}
bootstrap() { # <target> <script or "">
    local mirror
    mirror=$(debian_uri)
    [ -n "$mirror" ] || { say "no Debian entry in this machine's apt sources"; return 1; }
    # debootstrap mounts /proc and /sys in its target: in namespaces of its own, an interrupted
    # run leaves nothing mounted or running. In a user namespace it may not make device nodes:
    # as in an LXC container, it binds them instead (the root's /dev is replaced in any case).
    local container=""
    [ "$route" = chroot ] || container=lxc
    container=$container in_namespaces debootstrap --variant=minbase "$suite" "$1" "$mirror" $2 ||
        return 1
    local rc=0
    wait "$unshared" || rc=$?
    unshared=""
    return "$rc"
}

# prepare <root>: the base copied, with apt set up as a newcomer's install would be, and the
# checkout copied in.
prepare() {
    local root=$1 mirror sec="" s
    # All but the device nodes, which a user namespace may not make: /dev is mounted afresh.
    mkdir "$root"
    tar -C "$cache/$suite/base" --exclude='./dev/*' --xattrs --xattrs-include='*' -cf - . |
        tar -C "$root" --xattrs --xattrs-include='*' -xf -
    mirror=$(debian_uri)
    [ "$security" = yes ] && sec=$(debian_uri security)
    rm -f "$root"/etc/apt/sources.list.d/* "$root/etc/apt/sources.list"
    {
        for s in $suites; do echo "deb $mirror $s main"; done
        [ -z "$sec" ] || echo "deb $sec $suite-security main"
    } >"$root/etc/apt/sources.list"
    {
        apt_access
        [ "$expires" = no ] || echo 'Acquire::Check-Valid-Until "false";'
    } >"$root/etc/apt/apt.conf.d/50host-access"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    mkdir -p "$root/root/orvcontrol"
    git -c safe.directory="$checkout" -C "$checkout" ls-files -z --cached --others --exclude-standard |
        (cd "$checkout" && tar --null -T - -cf -) | tar -xf - -C "$root/root/orvcontrol"
    for s in "scripts/run.sh --demo" "scripts/run.sh" "scripts/test.sh" "scripts/install.sh --deb"; do
        grep -qF "$s" "$root/root/orvcontrol/README.md" || { say "the README no longer says $s"; exit 1; }
    done
}

# --- Running in the root ---------------------------------------------------------------------

# A private /dev with the usual nodes (a file made there stays there), /sys read only, /proc of
# our PID namespace, the X server's socket folder.
mount_root() {
    local root=$1 node at opts
    mount --bind "$root" "$root" # a mount point, so that a test inside may unshare its mounts
    mount -t proc -o nosuid,nodev,noexec proc "$root/proc"
    if ! mount -t sysfs -o ro,nosuid,nodev,noexec sysfs "$root/sys" 2>/dev/null; then
        # A user namespace may not mount sysfs: the host's, and every mount below it, read only
        # (keeping the flags it may not drop).
        mount --rbind /sys "$root/sys"
        awk -v d="$root/sys" '$5 == d || index($5, d "/") == 1 { print $5, $6 }' /proc/self/mountinfo |
            while read -r at opts; do
                mount -o "remount,bind,ro,${opts//rw,/}" "$at"
            done
    fi
    mount -t tmpfs -o nosuid,mode=0755 dev "$root/dev"
    for node in null zero full random urandom tty; do
        touch "$root/dev/$node"
        mount --bind "/dev/$node" "$root/dev/$node"
    done
    mkdir "$root/dev/pts" "$root/dev/shm"
    mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
    ln -s pts/ptmx "$root/dev/ptmx"
    mount -t tmpfs -o nosuid,nodev shm "$root/dev/shm"
    ln -s /proc/self/fd "$root/dev/fd"
    # The X server's sockets in a folder of this namespace alone.
    mkdir -p /tmp/.X11-unix "$root/tmp/.X11-unix"
    mount -t tmpfs -o mode=1777 x11 /tmp/.X11-unix
    mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
}

# inside <log> <command line>: runs it in the root as a newcomer's login shell would; the
# output, stamped, goes to <log>.
inside() {
    local log=$1 env
    shift
    env=(/usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb ${DISPLAY:+DISPLAY=$DISPLAY}
        ${DISPLAY:+XAUTHORITY=/root/.Xauthority} bash -c "cd /root/orvcontrol && $*")
    chroot "$root" "${env[@]}" </dev/null 2>&1 | stamp >"$log"
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

stop_xvfb() {
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    xvfb=""
    unset DISPLAY XAUTHORITY
    rm -f "$root/root/.Xauthority"
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
    inside "$log" "$cmd" 2>/dev/null & # its shell would report the program's end
    local runner=$!
    children+=("$runner")
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
    stop_root_processes
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

# try_root: every check, in one fresh root of $suite.
try_root() {
    root=$work/root
    out=$here/build-fresh-root/$suite
    rm -rf "$out"
    mkdir -p "$out"
    prepare "$root"
    echo "== $suite: checkout $(git -c safe.directory="$checkout" -C "$checkout" describe --always \
        --dirty) copied into a fresh root ($route)"
    mount_root "$root"

    start_xvfb "$work" 1024x768 || exit 1
    install -m 600 "$XAUTHORITY" "$root/root/.Xauthority" # the cookie, for the root's programs
    window_run demo "scripts/run.sh --demo" 'ORVcontrol.*simulation' 'rgb(30,200,40)'
    window_run nodevice "scripts/run.sh" '^ORVcontrol v[0-9.]*$' 'rgb(200,20,20)'
    stop_xvfb # the suite starts X servers of its own
    suite_run test "scripts/test.sh"
    suite_run test-qt6 "scripts/test.sh --qt6"
    echo "== scripts/install.sh --deb"
    bg inside "$out/install.log" "scripts/install.sh --deb" ||
        fail "$out/install.log" "scripts/install.sh --deb failed"
    [ -x "$root/usr/bin/orvcontrol" ] ||
        fail "$out/install.log" "the package put no /usr/bin/orvcontrol in place"
    echo "PASS: the README's commands work on a fresh $suite root ($route)"
}

# --- The namespace's side ------------------------------------------------------------------

if [ "${1:-}" = --inner ]; then
    # <route> <release> <work> <checkout>, with the host's mount namespace open on descriptor 7.
    # Only where the namespaces are really new: it mounts, and must never do so on the host.
    # The descriptor, unlike an argument, cannot name the host by mistake; closed at once, so
    # that nothing in the root may enter the host's namespace through it.
    outer=$(readlink /proc/self/fd/7 2>/dev/null || true)
    exec 7<&-
    [ "$$" = 1 ] && [[ $outer == mnt:* && $outer != "$(readlink /proc/self/ns/mnt)" ]] ||
        { say "--inner runs only as the first process of new PID and mount namespaces," \
            "started by fresh-root.sh itself"; exit 2; }
    ORV_FRESH_INNER=1 route=$2
    release "$3"
    work=$4 checkout=$5
    try_root
    exit 0
fi

# --- The host's side -----------------------------------------------------------------------

checkout=$here forced="" releases=()
while [ $# -gt 0 ]; do
    case $1 in
    --route) forced=${2:-}; shift ;;
    --checkout) checkout=$(cd "${2:?}" && pwd); shift ;;
    -h | --help) sed -n '2,18p' "$0"; exit 0 ;;
    *) releases+=("$1") ;;
    esac
    shift
done
[ ${#releases[@]} -gt 0 ] || releases=(12 13 testing)
for r in "${releases[@]}"; do release "$r"; done # unknown names fail before any work

[ "$(id -u)" -eq 0 ] || { say "no route: needs root (debootstrap, apt in the root)"; exit 77; }
"$here/scripts/deps.sh" fresh-root

# can <route>: whether the route's namespaces, mounts and chroot work here.
can() {
    local rc=0
    route=$1 work=$(mktemp -d /var/tmp/orv-fresh.XXXXXX)
    in_namespaces bash -c 'mount -t tmpfs probe "$0" && chroot / true' "$work" 2>/dev/null || rc=1
    if [ "$rc" = 0 ]; then wait "$unshared" || rc=$?; fi
    unshared="" route=""
    rm -rf "$work"
    work=""
    return "$rc"
}
case $forced in
"") if can chroot; then route=chroot
    elif can userns; then route=userns
    else
        say "no route: mount namespaces or chroot refused (no CAP_SYS_ADMIN/CAP_SYS_CHROOT)," \
            "and user namespaces too"
        exit 77
    fi ;;
chroot | userns)
    can "$forced" || { say "no route: the $forced route was asked for, but it is refused here"; exit 77; }
    route=$forced ;;
*) say "unknown route '$forced' (chroot or userns)"; exit 2 ;;
esac
echo "== $me: route $route, releases ${releases[*]}"

for r in "${releases[@]}"; do
    release "$r"
    # Runs at once get a work folder each, and wait for each other's debootstrap; only one at a
    # time may write a release's screenshots and logs.
    mkdir -p "$here/build-fresh-root"
    exec 9>"$here/build-fresh-root/$suite.lock"
    flock -n 9 || { say "another run is trying $suite (build-fresh-root/$suite/)"; exit 1; }
    work=$(mktemp -d /var/tmp/orv-fresh.XXXXXX)
    ensure_base
    in_namespaces "$here/scripts/fresh-root.sh" --inner "$route" "$r" "$work" "$checkout" \
        7</proc/self/ns/mnt || { say "could not enter the namespaces"; exit 1; }
    wait "$unshared" || exit
    unshared=""
    mounted_under "$work" && { say "something is still mounted under $work; left it in place"; exit 1; }
    rm -rf --one-file-system "$work"
    work=""
done
