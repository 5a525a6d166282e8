#!/usr/bin/env bash
# Fails when a C++ file of the tree is not as clang-format (.clang-format) would write it, and
# names the files. The tree reads the same under clang-format 14 (Debian 12) and 19 (Debian 13).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/deps.sh" style
cd "$root"
mapfile -t files < <(git -c safe.directory="$root" ls-files '*.cpp' '*.h')
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! clang-format --dry-run --Werror "${files[@]}" 2>"$log"; then
    sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' "$log" | sort -u |
        sed 's/^/style.sh: not formatted: /' >&2
    echo "style.sh: clang-format -i FILE... rewrites them" >&2
    exit 1
fi
echo "style.sh: ${#files[@]} files as .clang-format writes them"
