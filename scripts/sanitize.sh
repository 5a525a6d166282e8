#!/usr/bin/env bash
# Builds the suite with sanitizers and runs it, failing on any report: every test under
# AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer (build-asan), the threaded
# ones under ThreadSanitizer (build-tsan). GCC, which has both.
# Usage: scripts/sanitize.sh [address|thread]...  (default: both)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/deps.sh" build test sanitize
supp=$root/tests/sanitizers
kinds=("$@")
[ ${#kinds[@]} -eq 0 ] && kinds=(address thread)

# umockdev's preload comes before the ASan runtime in the tst_hidraw_e2e process, hence
# verify_asan_link_order=0.
export ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$supp/lsan.supp
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$supp/tsan.supp

# The tests where the link's thread meets the GUI thread.
threaded=(tst_link tst_window tst_hidraw_e2e tst_link_soak)

configure() { # <dir> <sanitizer>
    CXX=g++ cmake -S "$root" -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
        -DORV_SANITIZE="$2" >/dev/null
}

for kind in "${kinds[@]}"; do
    case "$kind" in
    address)
        build=$root/build-asan
        configure "$build" address
        cmake --build "$build" --parallel "$(nproc)"
        ctest --test-dir "$build" --output-on-failure --timeout 900 --parallel "$(nproc)"
        ;;
    thread)
        build=$root/build-tsan
        configure "$build" thread
        cmake --build "$build" --parallel "$(nproc)" --target tst_link tst_window tst_hidraw_e2e
        pattern="^($(
            IFS='|'
            echo "${threaded[*]}"
        ))\$"
        ctest --test-dir "$build" --output-on-failure --timeout 900 --parallel "$(nproc)" \
            -R "$pattern"
        ;;
    *)
        echo "sanitize.sh: unknown sanitizer '$kind' (address or thread)" >&2
        exit 2
        ;;
    esac
done
