#!/usr/bin/env bash
# Kills "-f" at random moments while it converts a large drawing, again and
# again. After every kill the path must hold the untouched drawing, a
# complete BMP, or nothing. Nothing else may be left beside it, but for the
# finished BMP's short hidden name in the instant between its link and its
# rename over the path; the next conversion in that directory must then
# recognise it as stale and remove it.
#   kill_test.sh BLITVIEW [KILLS]
set -euo pipefail
blitview=$1
kills=${2:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 24000 x 18000 units (a 1024 x 768 canvas) in two raster strips of random
# ink, 4096 rows of 4096 bytes each, then a rectangle: reading, painting and
# writing each take a share of the run.
original="$work/original.drw"
{
    printf '\xc0\x5d\x50\x46'
    for top in '\x00\x00' '\x00\x10'; do
        printf '\xff\xff\x00\x00\x00\x00'"$top"'\xc0\x5d\x00\x10\x00\x10\x02\x00\x46\x07\xe2\x00'
        head -c $((4096 * 4096)) /dev/urandom
    done
    printf '\xfe\xff\x00\x00\x10\x00\x10\x00\x00\x20\x00\x20\x05\x00'
} >"$original"
bmp_size=$((54 + 1024 * 768 * 4))

path="$work/job/drawing.drw"
mkdir "$work/job"
cp "$original" "$path"
start=$(date +%s%N)
"$blitview" -f "$path"
took_us=$((($(date +%s%N) - start) / 1000))
[ "$(stat -c %s "$path")" = "$bmp_size" ] || { echo "kill_test: the conversion itself failed"; exit 1; }

passed=0 failed=0 untouched=0 complete=0 absent=0 stale_removed=0
for i in $(seq 1 "$kills"); do
    rm -f "$work"/job/* "$work"/job/.[!.]* 2>/dev/null || true
    cp "$original" "$path"
    "$blitview" -f "$path" &
    pid=$!
    # A moment anywhere in the run, a little past its end included.
    delay_us=$((RANDOM * 32768 + RANDOM))
    delay_us=$((delay_us % (took_us * 13 / 10 + 1)))
    sleep "$(printf '0.%06d' "$delay_us")"
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    left=$(ls -A "$work/job")
    stale=$(ls -A "$work/job" | grep -E '^\.blitview-[a-z0-9]{8}$' || true)
    if [ -n "$stale" ]; then
        printf '\x10\x00\x10\x00' >"$work/job/next.drw"
        "$blitview" -f "$work/job/next.drw" || true
        rm -f "$work/job/next.drw"
        if [ -e "$work/job/$stale" ]; then
            failed=$((failed + 1)); echo "FAILED: kill $i left $stale, which the next run did not remove"
            continue
        fi
        stale_removed=$((stale_removed + 1))
        left=$(ls -A "$work/job")
    fi
    if [ -z "$left" ]; then
        absent=$((absent + 1)); passed=$((passed + 1))
    elif [ "$left" != "drawing.drw" ]; then
        failed=$((failed + 1)); echo "FAILED: kill $i after ${delay_us} us left: $left"
    elif cmp -s "$path" "$original"; then
        untouched=$((untouched + 1)); passed=$((passed + 1))
    elif [ "$(stat -c %s "$path")" = "$bmp_size" ] && [ "$(head -c 2 "$path")" = "BM" ]; then
        complete=$((complete + 1)); passed=$((passed + 1))
    else
        failed=$((failed + 1)); echo "FAILED: kill $i after ${delay_us} us left a partial file ($(stat -c %s "$path") bytes)"
    fi
done
echo "a run takes ${took_us} us; after the kills: $untouched untouched, $complete complete BMPs, $absent with nothing, $stale_removed stale names removed by the next run"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
