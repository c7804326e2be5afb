#!/usr/bin/env bash
# Our code beside the libraries and programs people would use instead: one
# table of ratios, ours divided by the reference, each the median of RUNS
# interleaved runs (default 9). Below 1 we are faster or smaller.
#
#   bench/compare.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR (default build-release) should be a Release build; the script
# builds the programs it needs there. Wants a quiet machine: anything else
# running shows up in the figures.
set -euo pipefail
build=${1:-build-release}
runs=${2:-9}
here=$(cd "$(dirname "$0")/.." && pwd)
[ -f "$build/CMakeCache.txt" ] ||
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")
[ "$type" = Release ] || echo "compare: $build is a $type build; the figures want Release" >&2
cmake --build "$build" --target compare_kernels png_whole_process spng_whole_process \
    qt_first_paint velmora-image velmora >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
rows=()
row() { # name ours reference goal [unit]
    rows+=("$(awk -v n="$1" -v a="$2" -v b="$3" -v g="$4" 'BEGIN {
        r = a / b
        printf "%-44s %6.2f   %s  %s\n", n, r, g, (r <= g + 0.005 ? "yes" : "no")
    }')")
}

# --- kernels, interleaved in one process (Google Benchmark) --------------------
# CPU time of each run: single-threaded work, and steadier than the wall
# clock where something else shares the machine. The writer runs apart, as
# its "bytes" counter must be in every row of a CSV file.
kernels() { # FILTER CSV
    "$build/bench/compare_kernels" --benchmark_enable_random_interleaving=true \
        --benchmark_repetitions="$runs" --benchmark_min_time=0.2 \
        --benchmark_report_aggregates_only=true --benchmark_filter="$1" \
        --benchmark_out_format=csv --benchmark_out="$work/$2" >/dev/null 2>"$work/$2.log" || {
        cat "$work/$2.log" >&2
        exit 1
    }
}
kernels -png_write kernels.csv
kernels png_write writer.csv
kernel() { # NAME COLUMN: the median's value in that column (cpu_time, bytes)
    awk -F, -v n="\"$1_median\"" -v col="$2" '
        $1 == "name" { for (i = 1; i <= NF; ++i) if ($i == col || $i == "\"" col "\"") c = i }
        $1 == n { print $c }' "$work/kernels.csv" "$work/writer.csv"
}
pair() { # ROW GOAL DESCRIPTION
    row "$3" "$(kernel "Ours/$1" cpu_time)" "$(kernel "Ref/$1" cpu_time)" "$2"
}
pair inflate_photo 1.0 "inflate, 12 MP photograph ÷ libdeflate"
pair inflate_flat 1.0 "inflate, flat synthetic ÷ libdeflate"
pair blend_host_100 0.7 "blend into host, 100 % ÷ pixman OVER"
pair blend_host_50 0.7 "blend into host, 50 % ÷ pixman OVER + mask"
pair blend_dc_100 0.7 "blend onto DC, 100 % ÷ pixman OVER"
pair blend_dc_50 0.7 "blend onto DC, 50 % ÷ pixman OVER + mask"
pair bilinear_0.5x 1.2 "bilinear 0.5x ÷ pixman bilinear"
pair bilinear_1.5x 1.2 "bilinear 1.5x ÷ pixman bilinear"
pair bilinear_2x 1.2 "bilinear 2x ÷ pixman bilinear"
pair png_write 0.8 "PNG writer time ÷ libpng (Paeth, 9)"
row "PNG writer size ÷ libpng (Paeth, 9)" "$(kernel Ours/png_write bytes)" \
    "$(kernel Ref/png_write bytes)" 1.0
pair png_write_libpng_strategy 0.8 "PNG writer time ÷ libpng (+ Z_FILTERED)"
row "PNG writer size ÷ libpng (+ Z_FILTERED)" "$(kernel Ours/png_write_libpng_strategy bytes)" \
    "$(kernel Ref/png_write_libpng_strategy bytes)" 1.0

# --- whole programs, interleaved in this script ----------------------------------
# Wall time from the shell's clock, peak memory from GNU time.
measure() { # LOG COMMAND...: appends "seconds kilobytes"
    local log=$1
    shift
    local t0=$EPOCHREALTIME
    /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null 2>&1
    local t1=$EPOCHREALTIME
    echo "$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.6f", b - a}') $(cat "$work/rss")" >>"$log"
}
column() { cut -d' ' -f"$2" "$work/$1" | median; }

photo=$work/photo.png
"$build/bench/png_whole_process" photo "$photo"
image=$build/tools/velmora-image
export QT_QPA_PLATFORM=offscreen
# The window runs on the simulated adapters, kept in a state folder of its own.
export XDG_STATE_HOME=$work/state
"$build/app/velmora" --backend=simulated list >/dev/null
for _ in $(seq "$runs"); do
    measure "$work/own" "$image" convert "$photo" "$work/own.bgra" --no-imaging --no-zlib
    measure "$work/spng" "$build/bench/spng_whole_process" "$photo" "$work/spng.bgra"
    measure "$work/zlib" "$image" convert "$photo" "$work/zlib.bgra" --no-imaging
    measure "$work/libpng" "$build/bench/png_whole_process" decode "$photo" "$work/libpng.bgra"
    measure "$work/default" "$image" convert "$photo" "$work/default.bgra"
    measure "$work/window" "$build/app/velmora" --backend=simulated --screenshot "$work/window.png"
    measure "$work/qt" "$build/bench/qt_first_paint" "$work/qt.png"
done
for out in own spng zlib default; do
    cmp -s "$work/$out.bgra" "$work/libpng.bgra" ||
        echo "compare: the $out path's pixels differ from libpng's" >&2
done
row "decode 12 MP, own inflater: time ÷ libspng" "$(column own 1)" "$(column spng 1)" 1.0
row "decode 12 MP, own inflater: memory ÷ libspng" "$(column own 2)" "$(column spng 2)" 1.05
row "decode 12 MP, zlib: time ÷ libpng" "$(column zlib 1)" "$(column libpng 1)" 0.85
row "decode 12 MP, zlib: memory ÷ libpng" "$(column zlib 2)" "$(column libpng 2)" 1.05
row "decode 12 MP, default: time ÷ libpng" "$(column default 1)" "$(column libpng 1)" 1.0
row "decode 12 MP, default: memory ÷ libpng" "$(column default 2)" "$(column libpng 2)" 1.05
row "window to first paint ÷ minimal Qt program" "$(column window 1)" "$(column qt 1)" 1.5

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
echo "CPU: $cpu, $(nproc) cores; median of $runs interleaved runs; build: $build ($type)"
printf "%-44s %6s   %s  %s\n" "ours ÷ reference" ratio goal met
printf '%s\n' "${rows[@]}"
