#!/usr/bin/env bash
# Starts 20 copies at once, each on its own large drawing: exactly one may do
# its job; the others return -1 and leave their files as they were.
#   instance_load_test.sh BLITVIEW
set -euo pipefail
blitview=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A drawing that takes a while to convert: one raster strip of 64 MiB.
{
    printf '\xc0\x5d\x50\x46'
    printf '\xff\xff\x00\x00\x00\x00\x00\x00\xc0\x5d\x00\x40\x00\x10\x03\x00\x46\x07\xe2\x00'
    head -c $((16384 * 4096)) /dev/urandom
} >"$work/original.drw"
for i in $(seq 1 20); do cp "$work/original.drw" "$work/$i.drw"; done

pids=()
for i in $(seq 1 20); do
    "$blitview" -f "$work/$i.drw" &
    pids+=($!)
done
succeeded=0 refused=0 failed=0
for i in $(seq 1 20); do
    if wait "${pids[$((i - 1))]}"; then
        succeeded=$((succeeded + 1))
        [ "$(stat -c %s "$work/$i.drw")" = $((54 + 1024 * 768 * 4)) ] || { failed=$((failed + 1)); echo "FAILED: copy $i did its job badly"; }
    else
        refused=$((refused + 1))
        cmp -s "$work/$i.drw" "$work/original.drw" || { failed=$((failed + 1)); echo "FAILED: refused copy $i touched its file"; }
    fi
done
[ "$succeeded" = 1 ] || { failed=$((failed + 1)); echo "FAILED: $succeeded copies did their job"; }
extra=$(ls -A "$work" | grep -cv '\.drw$' || true)
[ "$extra" = 0 ] || { failed=$((failed + 1)); echo "FAILED: files were left beside the drawings"; }
echo "20 copies at once: $succeeded did the job, $refused refused"
echo "$((20 - failed)) passed, $failed failed"
[ "$failed" = 0 ]
