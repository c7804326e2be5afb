#!/usr/bin/env bash
# Whole-process cost of refusing each decompression bomb: `velmora-image
# info FILE` under /usr/bin/time, the median of N runs (default 5) of wall
# time and peak resident memory per file, against the goal of 50 ms and
# 64 MB. The bombs are written into the build tree by the imaging_bombs
# target.
#   bench/bombs.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
bombs="$build/tests/data/bombs"
[[ -d $bombs ]] || { echo "no bombs in $bombs: build the imaging_bombs target" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
printf '%-36s %9s %9s %7s  %s\n' file ms MB exit verdict
over=0
for file in "$bombs"/*; do
    [[ -f $file ]] || continue
    : >"$work/runs"
    status=0
    for _ in $(seq "$runs"); do
        # Wall time to the microsecond here (time's own is in hundredths);
        # time adds a line of its own before the figures on a non-zero exit.
        start=$(date +%s%N)
        /usr/bin/time -f '%M %x' -o "$work/t" "$build/tools/velmora-image" info "$file" \
            >/dev/null 2>&1 || true
        end=$(date +%s%N)
        echo "$(((end - start) / 1000)) $(tail -n1 "$work/t")" >>"$work/runs"
    done
    us=$(cut -d' ' -f1 "$work/runs" | median)
    ms=$(awk -v u="$us" 'BEGIN {printf "%.1f", u / 1000}')
    kb=$(cut -d' ' -f2 "$work/runs" | median)
    status=$(tail -n1 "$work/runs" | cut -d' ' -f3)
    mb=$(awk -v k="$kb" 'BEGIN {printf "%.1f", k / 1024}')
    verdict=ok
    if ((us >= 50000)) || ((kb >= 65536)); then verdict="OVER"; over=1; fi
    # A bomb must be refused: velmora-image answers non-zero.
    if [[ $status == 0 ]]; then verdict="ACCEPTED"; over=1; fi
    printf '%-36s %9s %9s %7s  %s\n' "$(basename "$file")" "$ms" "$mb" "$status" "$verdict"
done
exit "$over"
