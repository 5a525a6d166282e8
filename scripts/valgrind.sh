#!/usr/bin/env bash
# Runs the tests under valgrind's memcheck (build-valgrind), failing on any memory error or
# definite leak. tst_hidraw_e2e is left out: its umockdev preload intercepts the same calls
# as valgrind's. tst_link's hot-plug soak runs ORV_SOAK_CYCLES cycles (default here: 40).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/deps.sh" build test valgrind
build=$root/build-valgrind
tests=(tst_protocol tst_link tst_window)

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target "${tests[@]}"

export QT_QPA_PLATFORM=offscreen
# memcheck cannot follow the machine code that PCRE2's JIT writes for QRegularExpression and
# reports each jump in it as depending on uninitialised values; the interpreter is exact.
export QT_ENABLE_REGEXP_JIT=0
export ORV_SOAK_CYCLES=${ORV_SOAK_CYCLES:-40}
rm -rf "$build/valgrind"
mkdir -p "$build/valgrind"
run() {
    local log=$build/valgrind/$1.log
    if valgrind --leak-check=full --errors-for-leak-kinds=definite --show-leak-kinds=definite \
        --error-exitcode=1 --num-callers=40 --suppressions="$root/tests/sanitizers/valgrind.supp" \
        "$build/tests/$1" >"$log" 2>&1; then
        echo "PASS $1: $(grep -o 'ERROR SUMMARY: .*' "$log" | tail -n 1)"
        touch "$build/valgrind/$1.passed"
    else
        tail -n 80 "$log"
        echo "FAIL $1 (log: $log)"
    fi
}
export -f run
export build root
# valgrind runs a process's threads one at a time, so two processes keep both cores busy.
printf '%s\n' "${tests[@]}" | xargs -P "$(nproc)" -I{} bash -c 'run {}'
passed=$(find "$build/valgrind" -name '*.passed' | wc -l)
echo "valgrind: $passed passed, $((${#tests[@]} - passed)) failed"
[ "$passed" -eq ${#tests[@]} ]
