#!/usr/bin/env bash
# What the scripts do as root, where that could hurt someone else.
#   checkout: in a checkout that is not all root's (another user's, or root's with a build
#             folder someone else made), every script refuses, in one line, before it installs,
#             builds, changes or runs anything;
#   cleanup:  fresh-root.sh's clean-up ends only what it started: another chroot's process
#             outlives it, however it ends and whatever the environment says.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "SKIP: the scripts' root-only paths need root"; exit 77; }
tmp=$(mktemp -d)
other=""
trap '[ -z "$other" ] || kill "$other" 2>/dev/null; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

case ${1:-} in
checkout)
    # Stand-ins that note every call: a refusal comes before any of them.
    mkdir "$tmp/bin"
    for tool in apt-get sudo cmake cpack ctest git chown runuser mmdebstrap bwrap Xvfb; do
        printf '#!/bin/sh\necho %s >>%s/called\nexit 1\n' "$tool" "$tmp" >"$tmp/bin/$tool"
        chmod +x "$tmp/bin/$tool"
    done
    for case in user build; do
        co=$tmp/$case
        mkdir "$co"
        cp -r "$here/scripts" "$here/README.md" "$co/"
        if [ "$case" = user ]; then chown -R 65534:65534 "$co"; else install -d -o 65534 "$co/build"; fi
        before=$(find "$co" -printf '%p %u %s\n' | sort)
        for cmd in "run.sh --demo" test.sh "test.sh --qt6" "install.sh --deb" "install.sh --prefix $tmp/p" \
            build.sh "deps.sh test" "fresh-root.sh 13" lint-deb.sh sanitize.sh fuzz.sh valgrind.sh style.sh; do
            if out=$(cd "$co" && PATH=$tmp/bin:$PATH DISPLAY=:0 scripts/$cmd 2>&1 </dev/null); then
                fail "$case: $cmd ran"
            fi
            [[ $(wc -l <<<"$out") = 1 && $out == *"run the scripts as "* ]] ||
                fail "$case: $cmd did not refuse in one line: $out"
        done
        [ "$(find "$co" -printf '%p %u %s\n' | sort)" = "$before" ] || fail "$case: files changed"
    done
    [ ! -e "$tmp/called" ] || fail "called before refusing: $(sort -u "$tmp/called" | tr '\n' ' ')"
    [ ! -e "$tmp/p" ] || fail "install.sh made its prefix"
    echo "PASS: every script refuses a checkout that is not root's, and touches nothing" ;;
cleanup)
    # A process in a chroot of its own, as a schroot session's or a daemon's would be.
    unshare --user --map-root-user true 2>/dev/null || { echo "SKIP: no user namespaces here"; exit 77; }
    mkdir "$tmp/r"
    unshare --user --map-root-user --mount bash -c 'mount --rbind / "$0" && exec chroot "$0" sleep 300' \
        "$tmp/r" &
    other=$!
    for _ in $(seq 100); do [ "$(readlink "/proc/$other/root")" != / ] && break; sleep 0.05; done
    [ "$(readlink "/proc/$other/root")" = "$tmp/r" ] || fail "the chrooted process did not start"
    ORV_FRESH_INNER=1 "$here/scripts/fresh-root.sh" --help >/dev/null
    ORV_FRESH_INNER=1 "$here/scripts/fresh-root.sh" nosuchrelease 2>/dev/null && fail "a bad release passed"
    kill -0 "$other" 2>/dev/null || fail "fresh-root.sh ended a process it did not start"
    echo "PASS: fresh-root.sh ends only what it started" ;;
*) echo "usage: root_scripts.sh checkout|cleanup" >&2; exit 2 ;;
esac
