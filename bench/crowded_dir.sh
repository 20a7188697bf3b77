#!/usr/bin/env bash
# What a crowded directory costs "-f": a small drawing converted beside
# 100,000 other files against the same drawing in an empty directory. Runs
# are paired (empty and crowded one after the other, in turns first) and the
# figure is the median of the pairs' ratios; a conversion should not look at
# the directory's other entries, so the ratio stays near 1.
#   bench/crowded_dir.sh [BLITVIEW [PAIRS [FILES]]]
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
blitview=${1:-}
pairs=${2:-51}
files=${3:-100000}
if [ -z "$blitview" ]; then
    cmake -S "$repo" -B "$repo/build" -G Ninja >/dev/null
    cmake --build "$repo/build" --target blitview >/dev/null
    blitview=$repo/build/blitview
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir "$work/empty" "$work/crowded"
(cd "$work/crowded" && seq -f 'file-%06g' 1 "$files" | xargs touch)
# 1024 x 768 units and one filled rectangle.
drawing() { printf '\x00\x04\x00\x03\xfe\xff\x00\x00\x10\x00\x10\x00\x00\x02\x00\x02\x05\x00' >"$1"; }

# Microseconds of one conversion in DIRECTORY.
run_us() {
    drawing "$1/job.drw"
    local start=$EPOCHREALTIME
    "$blitview" -f "$1/job.drw"
    local end=$EPOCHREALTIME
    echo $(((${end/./} - ${start/./})))
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

run_us "$work/empty" >/dev/null
run_us "$work/crowded" >/dev/null
: >"$work/empty.us" >"$work/crowded.us" >"$work/ratios"
for i in $(seq 1 "$pairs"); do
    if ((i % 2)); then
        e=$(run_us "$work/empty"); c=$(run_us "$work/crowded")
    else
        c=$(run_us "$work/crowded"); e=$(run_us "$work/empty")
    fi
    echo "$e" >>"$work/empty.us"
    echo "$c" >>"$work/crowded.us"
    awk -v c="$c" -v e="$e" 'BEGIN { printf "%.4f\n", c / e }' >>"$work/ratios"
done
printf 'empty directory: median %s us\n' "$(median <"$work/empty.us")"
printf 'beside %s files: median %s us\n' "$files" "$(median <"$work/crowded.us")"
printf 'ratio (median of %s pairs): %s\n' "$pairs" "$(median <"$work/ratios")"
