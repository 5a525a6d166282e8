# Shared by bench/run.sh and bench/wayland.sh. Sourced; needs nothing but awk and sort.

# field <file> <name>: that figure of every run in <file> (name value pairs, a run a line).
field() {
    awk -v name="$2" '{for (i = 1; i < NF; i += 2) if ($i == name) print $(i + 1)}' "$1"
}

# stats: median q1 q3 min max of the numbers on standard input.
stats() {
    sort -g | awk '
        function q(p,   h, l) { h = (n - 1) * p + 1; l = int(h)
                                return l >= n ? v[n] : v[l] + (h - l) * (v[l + 1] - v[l]) }
        { v[++n] = $1 }
        END { if (n) printf "%.6g %.6g %.6g %.6g %.6g\n", q(0.5), q(0.25), q(0.75), v[1], v[n] }'
}

# write_block <file> <name> <block> [heading]: puts the block file in place of the one that
# <file> holds between "<!-- <name>:" and "<!-- end of <name> -->", or appends it (under the
# heading, if given) where there is none yet.
write_block() {
    local out=$1 name=$2 block=$3 heading=${4:-} tmp
    tmp=$(mktemp)
    if [ -f "$out" ] && grep -q "^<!-- $name:" "$out"; then
        awk -v block="$block" -v begin="<!-- $name:" -v end="<!-- end of $name -->" '
            index($0, begin) == 1 { while ((getline line < block) > 0) print line; skip = 1; next }
            index($0, end) == 1 { skip = 0; next }
            !skip' "$out" >"$tmp"
    else
        { [ -f "$out" ] && cat "$out" && echo; [ -n "$heading" ] && printf '%s\n\n' "$heading"
            cat "$block"; } >"$tmp"
    fi
    cat "$tmp" >"$out"
    rm -f "$tmp"
}
