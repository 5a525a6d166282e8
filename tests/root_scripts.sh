#!/usr/bin/env bash
# What the scripts do as root, where that could hurt someone else.
#   checkout: in a checkout holding another user's files (theirs, or root's with a build folder
#             of theirs), every script refuses in one line before it builds or changes anything;
#   cleanup:  fresh-root.sh, however it ends and whatever the environment says, leaves alone a
#             process it did not start that runs in a chroot of its own.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "SKIP: the scripts' root-only paths need root"; exit 77; }
tmp=$(mktemp -d) other=""
# The other process may be gone already: that is no failure of the test.
trap 'if [ -n "$other" ]; then kill "$other" 2>/dev/null || true; fi; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "$1" = checkout ]; then
    mkdir -p "$tmp/theirs" "$tmp/ours/build"
    cp -r "$here/scripts" "$tmp/theirs" && cp -r "$here/scripts" "$tmp/ours"
    chown -R 65534 "$tmp/theirs" "$tmp/ours/build" && touch "$tmp/start"
    for co in "$tmp/theirs" "$tmp/ours"; do
        for cmd in "run.sh --demo" test.sh "install.sh --deb" "install.sh --prefix $tmp/p" build.sh \
            "deps.sh test" "fresh-root.sh 13" lint-deb.sh sanitize.sh fuzz.sh valgrind.sh style.sh; do
            out=$(cd "$co" && scripts/$cmd 2>&1 </dev/null) && fail "$cmd ran in $co"
            [[ $out != *$'\n'* && $out == *"run the scripts as nobody"* ]] || fail "$cmd in $co: $out"
        done
    done
    [ -z "$(find "$tmp/theirs" "$tmp/ours" "$tmp/p" -newer "$tmp/start" 2>/dev/null)" ] || fail "files changed"
else
    mkdir "$tmp/r"
    unshare -rm bash -c 'mount --rbind / "$0" && exec chroot "$0" sleep 300' "$tmp/r" 2>/dev/null &
    other=$!
    for _ in $(seq 100); do [ "$(readlink "/proc/$other/root")" = "$tmp/r" ] && break; sleep 0.05; done
    [ "$(readlink "/proc/$other/root")" = "$tmp/r" ] || { echo "SKIP: no chroot in a user namespace here"; exit 77; }
    ORV_FRESH_INNER=1 "$here/scripts/fresh-root.sh" --help >/dev/null
    kill -0 "$other" 2>/dev/null || fail "fresh-root.sh ended a process it did not start"
fi
echo "PASS: $1"
