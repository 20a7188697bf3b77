#!/usr/bin/env bash
# Starts 20 copies at once, each on its own drawing: exactly one may do its
# job; the others return -1 and leave their files as they were. Each drawing
# is a FIFO that no one writes until the refused copies are gone, so the copy
# holding the claim is still alive, waiting for its drawing, however fast the
# machine or the conversion: the outcome does not hang on timing.
#   instance_load_test.sh BLITVIEW
set -euo pipefail
blitview=$1
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

drawing() {  # a 1024 x 768 drawing of one rectangle
    printf '\x00\x04\x00\x03\xfe\xff\x00\x00\x0a\x00\x0a\x00\x64\x00\x64\x00\x01\x00'
}
for i in $(seq 1 20); do mkfifo "$work/$i.drw"; done

for i in $(seq 1 20); do
    "$blitview" -f "$work/$i.drw" &
    pids+=($!)
done
# The refused copies end at once, without opening their drawing; the one that
# holds the claim waits for its FIFO to be written.
alive=()
for _ in $(seq 200); do
    alive=()
    for i in $(seq 1 20); do kill -0 "${pids[$((i - 1))]}" 2>/dev/null && alive+=("$i"); done
    [ ${#alive[@]} -le 1 ] && break
    sleep 0.05
done
failed=0
if [ ${#alive[@]} = 1 ]; then
    drawing >"$work/${alive[0]}.drw"
else
    failed=$((failed + 1))
    echo "FAILED: ${#alive[@]} copies were still waiting for their drawing"
    for i in "${alive[@]}"; do kill "${pids[$((i - 1))]}" 2>/dev/null || true; done
fi

succeeded=0 refused=0
for i in $(seq 1 20); do
    if wait "${pids[$((i - 1))]}"; then
        succeeded=$((succeeded + 1))
        [ "$(stat -c %s "$work/$i.drw")" = $((54 + 1024 * 768 * 4)) ] || { failed=$((failed + 1)); echo "FAILED: copy $i did its job badly"; }
    else
        refused=$((refused + 1))
        [ -p "$work/$i.drw" ] || { failed=$((failed + 1)); echo "FAILED: refused copy $i touched its file"; }
    fi
done
pids=()
[ "$succeeded" = 1 ] || { failed=$((failed + 1)); echo "FAILED: $succeeded copies did their job"; }
extra=$(ls -A "$work" | grep -cv '\.drw$' || true)
[ "$extra" = 0 ] || { failed=$((failed + 1)); echo "FAILED: files were left beside the drawings"; }
echo "20 copies at once: $succeeded did the job, $refused refused"
echo "$((20 - failed)) passed, $failed failed"
[ "$failed" = 0 ]
