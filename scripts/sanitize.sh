#!/usr/bin/env bash
# Builds the suite with sanitizers and runs it, failing on any report: every test under
# AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer (preset asan), the threaded
# ones under ThreadSanitizer (preset tsan). The options live in CMakePresets.json; among them,
# verify_asan_link_order=0, because umockdev's preload comes before the ASan runtime in the
# tst_hidraw_e2e process.
# Usage: scripts/sanitize.sh [address|thread]...  (default: both)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib/root.sh"
"$root/scripts/deps.sh" build qt5 test sanitize
cd "$root"
kinds=("$@")
[ ${#kinds[@]} -eq 0 ] && kinds=(address thread)
for kind in "${kinds[@]}"; do
    case "$kind" in
        address) preset=asan ;;
        thread) preset=tsan ;;
        *) echo "sanitize.sh: unknown sanitizer '$kind' (address or thread)" >&2; exit 2 ;;
    esac
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --parallel "$(nproc)"
    ctest --preset "$preset" --parallel "$(nproc)"
done
