#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a number of executions.
#   scripts/fuzz.sh [RUNS] [TARGET...]     (RUNS defaults to 10000000)
# Each target starts from its corpus in fuzz/corpus/NAME (seeded from the
# tests' files on the first run); crashers land in build-fuzz/crashes/.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"
scripts/setup.sh --test
command -v clang++ >/dev/null || { echo "fuzz: clang++ is needed" >&2; exit 1; }
runs=${1:-10000000}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_drawing fuzz_bmp fuzz_vectors)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBLITVIEW_SANITIZE=ON -DBLITVIEW_FUZZ=ON -DBLITVIEW_TESTS=AUTO >/dev/null
cmake --build build-fuzz --target "${targets[@]}" make_test_drawings >/dev/null

seed() {  # seed NAME: the target's corpus, made from the tests' files once
    local dir="fuzz/corpus/$1"
    mkdir -p "$dir"
    [ -n "$(ls -A "$dir")" ] && return 0
    case "$1" in
        fuzz_drawing)
            local made
            made=$(mktemp -d)
            build-fuzz/tests/make_test_drawings "$made" >/dev/null
            build-fuzz/tests/make_test_drawings "$made" --random 20 7 >/dev/null
            # Each drawing twice: behind the byte that picks the small
            # canvas, and behind the one that picks the full one.
            for drawing in "$made"/*.drw; do
                { printf '\x00'; cat "$drawing"; } >"$dir/small-$(basename "$drawing")"
                { printf '\x01'; cat "$drawing"; } >"$dir/full-$(basename "$drawing")"
            done
            rm -rf "$made" ;;
        fuzz_bmp) find tests/data/bmpsuite -name '*.bmp' -size -200k -exec cp {} "$dir"/ \; ;;
        fuzz_vectors) cp examples/sample.VCT "$dir"/ ;;
    esac
}

mkdir -p build-fuzz/crashes
for target in "${targets[@]}"; do
    seed "$target"
    echo "== $target: $runs runs"
    build-fuzz/fuzz/"$target" -runs="$runs" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix=build-fuzz/crashes/"$target"- -print_final_stats=1 "fuzz/corpus/$target" 2>&1 |
        grep -E "^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::average_exec_per_sec|==[0-9]+==ERROR|SUMMARY)" || true
done
