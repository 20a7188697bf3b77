#!/usr/bin/env bash
# Whole conversions of large raster drawings: time and peak resident memory of
# "blitview -f", beside reading the file with cat and writing a BMP's worth
# of bytes, which together are the floor.
#   bench/e2e.sh [WORK_DIR [OTHER_BLITVIEW]]     (WORK_DIR needs about 1.5 GiB free)
# With OTHER_BLITVIEW, another build, each drawing is also converted by both
# builds in five pairs of runs, one after the other, and the median of this
# build's time over the other's is printed.
set -euo pipefail
# shellcheck source=SCRIPTDIR/build.sh
source "$(dirname "${BASH_SOURCE[0]}")/build.sh"
bench_build blitview make_big_drawing

work="${1:-$(mktemp -d)}"
other="${2:-}"
mkdir -p "$work"
trap 'rm -f "$work"/big-*.drw "$work"/copy.drw "$work"/floor.bmp' EXIT

# Best wall time of five runs, in milliseconds: `prepare` runs untimed before each.
best_ms() {  # best_ms PREPARE COMMAND...
    local prepare=$1 best=
    shift
    for _ in 1 2 3 4 5; do
        eval "$prepare"
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null
        end=$(date +%s%N)
        local ms=$(((end - start) / 1000000))
        [[ -z "$best" || $ms -lt $best ]] && best=$ms
    done
    echo "$best"
}

peak_kib() { /usr/bin/time -f "%M" "$@" 2>&1 >/dev/null | tail -n 1; }

# Wall time of one run, in milliseconds.
one_run_ms() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

# The median, over five pairs of runs, of this build's time over OTHER_BLITVIEW's.
paired_ratio() {  # paired_ratio FILE
    local ratios=() mine theirs
    for _ in 1 2 3 4 5; do
        cp "$1" "$work/copy.drw"
        theirs=$(one_run_ms "$other" -f "$work/copy.drw")
        cp "$1" "$work/copy.drw"
        mine=$(one_run_ms build/blitview -f "$work/copy.drw")
        ratios+=("$(echo "$mine / $theirs" | bc -l)")
    done
    printf '%s\n' "${ratios[@]}" | sort -g | sed -n 3p
}

measure() {  # measure NAME WIDTH HEIGHT BYTES_PER_ROW ROWS DENSITY
    local name=$1 file="$work/big-$1.drw"
    build/bench/make_big_drawing "$file" "$2" "$3" "$4" "$5" "$6"
    local size cat_ms write_ms run_ms peak
    size=$(stat -c %s "$file")
    cat "$file" >/dev/null  # the page cache holds the file for every run
    cat_ms=$(best_ms : cat "$file")
    write_ms=$(best_ms : dd if=/dev/zero of="$work/floor.bmp" bs=1M count=3 status=none)
    run_ms=$(best_ms "cp '$file' '$work/copy.drw'" build/blitview -f "$work/copy.drw")
    cp "$file" "$work/copy.drw"
    peak=$(peak_kib build/blitview -f "$work/copy.drw")
    printf '%-14s %5d MiB   cat %4d ms + BMP write %3d ms   blitview -f %4d ms (%.2f x)   peak RSS %6d KiB\n' \
        "$name" $((size >> 20)) "$cat_ms" "$write_ms" "$run_ms" \
        "$(echo "$run_ms / ($cat_ms + $write_ms)" | bc -l)" "$peak"
    if [[ -n "$other" ]]; then
        local ratio other_peak
        ratio=$(paired_ratio "$file")
        cp "$file" "$work/copy.drw"
        other_peak=$(peak_kib "$other" -f "$work/copy.drw")
        printf '%-14s this build over %s: %.2f (median of 5 pairs), its peak RSS %6d KiB\n' "$name" "$other" \
            "$ratio" "$other_peak"
    fi
    rm -f "$file" "$work/copy.drw"
}

# A 32768 x 65535 page in one strip of 256 MiB (scale 1/64, thinned).
measure sparse-256MiB 32768 65535 4096 65535 sparse
measure dense-256MiB 32768 65535 4096 65535 dense
measure blank-256MiB 32768 65535 4096 65535 blank
# One strip of 1 GiB: memory must stay bounded.
measure sparse-1GiB 65535 65535 16384 65535 sparse
