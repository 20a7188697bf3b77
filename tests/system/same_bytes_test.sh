#!/usr/bin/env bash
# Two builds of the program, one of another word size, convert the same
# drawings: the sample, the fixed test drawings and random ones. Each pair
# of runs must end with the same status and leave the same bytes.
#   same_bytes_test.sh BLITVIEW OTHER_BLITVIEW MAKE_TEST_DRAWINGS SAMPLE [RANDOM_COUNT [SEED]]
set -euo pipefail
blitview=$1 other=$2 make_drawings=$3 sample=$4 count=${5:-40} seed=${6:-20250525}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR" "$work/drawings" "$work/one" "$work/other"
"$make_drawings" "$work/drawings" >/dev/null
"$make_drawings" "$work/drawings" --random "$count" "$seed" >/dev/null
cp "$sample" "$work/drawings/sample.drw"
passed=0 failed=0
for drawing in "$work"/drawings/*.drw; do
    name=$(basename "$drawing")
    cp "$drawing" "$work/one/$name"
    cp "$drawing" "$work/other/$name"
    one=0 two=0
    "$blitview" -f "$work/one/$name" </dev/null >/dev/null 2>&1 || one=$?
    "$other" -f "$work/other/$name" </dev/null >/dev/null 2>&1 || two=$?
    if [[ "$one" != "$two" ]]; then
        echo "$name: DIFFERENT: exit status $one, the other build's $two"; failed=$((failed + 1))
    elif [[ -e "$work/one/$name" || -e "$work/other/$name" ]] && ! cmp -s "$work/one/$name" "$work/other/$name"; then
        echo "$name: DIFFERENT: $(cmp "$work/one/$name" "$work/other/$name" 2>&1 | head -n 1)"; failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
done
echo "$passed passed, $failed failed"
((failed == 0 && passed > 0))
