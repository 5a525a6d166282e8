#!/usr/bin/env bash
# Test code against program code, in lines that are neither blank nor only a comment.
#   test code:    tests/ (C++, shell, Python), packaging/tests/, the fuzz targets in tests/fuzz/
#   program code: src/ with the form, sim/, resources/draw/
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
count() {
    git ls-files -- "$@" | xargs -r cat | grep -cvE '^\s*((//|#|\*|/\*).*)?$' || true
}
tests=$(count 'tests/*.cpp' 'tests/*.h' 'tests/*.sh' 'tests/*.py' 'packaging/tests/*')
code=$(count 'src/*.cpp' 'src/*.h' 'src/*.ui' 'sim/*.cpp' 'sim/*.h' 'resources/draw/*.cpp')
echo "test code $tests lines, program code $code lines: $((100 * tests / code)) %"
