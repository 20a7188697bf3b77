#!/usr/bin/env bash
# Builds the Linux program, the inspector and the tests for 32-bit Linux
# (i386) into build/i386, with the i686 cross compiler and Debian's i386
# libraries: those installed through multiarch, or else those that
# scripts/setup.sh --test unpacked into /opt/blitview-i386. Then
# `ctest --test-dir build/i386` runs the tests.
#
# Usage: scripts/build-i386.sh [--compare-with BLITVIEW] [BUILD_DIR]
#        (default: <repo>/build/i386)
# --compare-with adds the test same_bytes_as_other_build: the conversions
# of this build against those of BLITVIEW (the 64-bit build's program).
#
# Installs nothing.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
compare=()
if [[ "${1:-}" == --compare-with ]]; then
    compare=(-DBLITVIEW_COMPARE_WITH="$(realpath -- "$2")")
    shift 2
fi
build_dir="$(realpath -m -- "${1:-$repo_root/build/i386}")"
i386_root=/opt/blitview-i386

command -v i686-linux-gnu-g++ >/dev/null ||
    { echo "build-i386.sh: missing i686-linux-gnu-g++ (scripts/setup.sh --test installs it)" >&2; exit 1; }
root_option=()
if [[ -e /usr/lib/i386-linux-gnu/libX11.so && -e /usr/lib/i386-linux-gnu/libgtest.a ]]; then
    echo "build-i386.sh: the i386 libraries of multiarch"
elif [[ -e "$i386_root/.complete" ]]; then
    echo "build-i386.sh: the i386 libraries in $i386_root"
    root_option=(-DBLITVIEW_I386_ROOT="$i386_root")
else
    echo "build-i386.sh: no i386 libraries: neither multiarch nor $i386_root (scripts/setup.sh --test)" >&2
    exit 1
fi

cmake -S "$repo_root" -B "$build_dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo_root/cmake/i686-linux-gnu.cmake" "${root_option[@]}" "${compare[@]}" \
    -DBLITVIEW_TESTS=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
