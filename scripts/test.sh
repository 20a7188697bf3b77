#!/usr/bin/env bash
# The whole test suite: the unit, window and program tests and the
# comparisons with the Windows build under Wine, the release archives for
# Windows among them; then the same suite, the Wine comparisons aside, built
# for 32-bit Linux (i386), with its conversions compared to the 64-bit
# build's; then again built with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"

scripts/setup.sh --test
jobs=$(nproc)

cmake -S . -B build -G Ninja -DBLITVIEW_TESTS=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

scripts/build-i386.sh --compare-with build/blitview build/i386 >/dev/null
ctest --test-dir build/i386 --output-on-failure -j "$jobs" -E '^wine_'

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBLITVIEW_SANITIZE=ON -DBLITVIEW_TESTS=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs" -E '^wine_'
