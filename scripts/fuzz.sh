#!/usr/bin/env bash
# Builds the libFuzzer target with Clang into build-fuzz and runs each for a bounded time,
# starting from the committed seeds in tests/fuzz/corpus/<target>/. Fails on any crash, sanitizer
# report or broken invariant; the input that caused it is left in build-fuzz/artifacts/.
# Usage: scripts/fuzz.sh [seconds per target]  (default: 60)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib/root.sh"
seconds=${1:-60}
"$root/scripts/deps.sh" build qt5 fuzz
build=$root/build-fuzz
supp=$root/tests/sanitizers

cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --parallel "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$supp/lsan.supp

mkdir -p "$build/artifacts"
target=fuzz_window
# New inputs go to the first folder, outside the tree; the seeds are only read.
work=$build/corpus/$target
log=$build/$target.log
mkdir -p "$work"
echo "fuzzing $target for ${seconds}s"
if ! "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" "$work" "$root/tests/fuzz/corpus/$target" \
    >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz.sh: $target failed; the input is in $build/artifacts/" >&2
    exit 1
fi
grep -E '^(Done|stat::(number_of_executed_units|new_units_added|peak_rss_mb))' "$log"
