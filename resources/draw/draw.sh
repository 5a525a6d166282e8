#!/usr/bin/env bash
# Repaints the application's embedded images into resources/ and the
# hicolor icons into packaging/icons/. The results are committed, so the
# application build never needs to run this.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
resources="$(dirname "$here")"

build="$(mktemp -d "${TMPDIR:-/tmp}/drawimages.XXXXXX")"
trap 'rm -rf "$build"' EXIT

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel >/dev/null
# Qt wants a private runtime folder even off screen; the build folder is one.
XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$build}" QT_QPA_PLATFORM=offscreen \
    "$build/drawimages" "$resources"
echo "images written under $resources and $(dirname "$resources")/packaging/icons"
