#!/usr/bin/env bash
# The Qt each release builds by default: 5 on Debian 12, 6 from 13 on, testing and sid (which
# have no VERSION_ID) included; 5 on any other system.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/qt.sh"
release=$(mktemp)
trap 'rm -f "$release"' EXIT
while IFS='|' read -r expected fields; do
    printf '%b\n' "$fields" >"$release"
    got=$(qt_default "$release")
    [ "$got" = "$expected" ] || { echo "FAIL: '$fields' builds Qt $got, not $expected"; exit 1; }
done <<'EOD'
5|ID=debian\nVERSION_ID="12"
6|ID=debian\nVERSION_ID="13"
6|ID=debian\nVERSION_ID="14"
6|ID=debian
5|ID=ubuntu\nVERSION_ID="24.04"
EOD
echo "PASS: each release's default Qt"
