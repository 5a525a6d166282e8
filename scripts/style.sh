#!/usr/bin/env bash
# Style and lint gates: fails when a C++ file of the tree is not as clang-format (.clang-format)
# would write it, naming the files, and when clang-tidy's checks (.clang-tidy) find something in
# the program's or the simulator's sources. The tree reads the same under clang-format 14
# (Debian 12) and 19 (Debian 13). clang-tidy needs the generated sources: it builds build-tidy/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib/root.sh"
"$root/scripts/deps.sh" qt5 style
cd "$root"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! clang-format --dry-run --Werror "${files[@]}" 2>"$log"; then
    sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' "$log" | sort -u |
        sed 's/^/style.sh: not formatted: /' >&2
    echo "style.sh: clang-format -i FILE... rewrites them" >&2
    exit 1
fi
echo "style.sh: ${#files[@]} files as .clang-format writes them"

build=$root/build-tidy
cmake --preset tidy >/dev/null
cmake --build --preset tidy --parallel "$(nproc)" >/dev/null
mapfile -t sources < <(git ls-files 'src/*.cpp' 'sim/*.cpp')
for source in "${sources[@]}"; do
    clang-tidy -p "$build" --quiet "$source" 2>/dev/null || status=1
done
[ "${status:-0}" = 0 ] || { echo "style.sh: clang-tidy found the faults above" >&2; exit 1; }
echo "style.sh: clang-tidy finds nothing in ${#sources[@]} files"
