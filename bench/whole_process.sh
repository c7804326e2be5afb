#!/usr/bin/env bash
# Whole-process PNG decoding of a 12-megapixel photograph: velmora-image
# against a libpng program doing the same, time and peak memory, median of
# N runs each (default 7), taken alternately.
#   bench/whole_process.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/png_whole_process" photo "$work/photo.png"
measure() { # prints "seconds kilobytes"
    /usr/bin/time -f '%e %M' -o "$work/t" "$@" >/dev/null
    cat "$work/t"
}
: >"$work/ours"
: >"$work/libpng"
for _ in $(seq "$runs"); do
    measure "$build/tools/velmora-image" convert "$work/photo.png" "$work/ours.bgra" >>"$work/ours"
    measure "$build/bench/png_whole_process" decode "$work/photo.png" "$work/libpng.bgra" >>"$work/libpng"
done
cmp -s "$work/ours.bgra" "$work/libpng.bgra" || echo "warning: the two outputs differ" >&2
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
ours_s=$(cut -d' ' -f1 "$work/ours" | median)
ours_kb=$(cut -d' ' -f2 "$work/ours" | median)
ref_s=$(cut -d' ' -f1 "$work/libpng" | median)
ref_kb=$(cut -d' ' -f2 "$work/libpng" | median)
awk -v a="$ours_s" -v b="$ref_s" -v c="$ours_kb" -v d="$ref_kb" 'BEGIN {
    printf "velmora-image  %.2f s  %.1f MB\n", a, c / 1024
    printf "libpng         %.2f s  %.1f MB\n", b, d / 1024
    printf "ratio          %.2fx time  %.2fx peak memory\n", a / b, c / d
}'
