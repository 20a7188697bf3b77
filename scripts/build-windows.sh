#!/usr/bin/env bash
# Cross-compiles the Windows build of blitview into build-win/blitview.exe.
# That executable, run under Wine, shows what the real GDI draws, and our
# Linux build is compared against it. The Windows probes of the Wine
# comparisons (view_host, polyline_probe, upload_probe) are built the same
# way, as further targets.
#
# Usage: scripts/build-windows.sh [--i686] [BUILD_DIR [TARGET...]]
#        (default: 64-bit, <repo>/build-win and the target blitview)
# --i686 builds for 32-bit Windows instead. BLITVIEW_WINDOWS_CXXFLAGS, when
# set, is added to the compiler's flags (scripts/package-windows.sh gives
# -Werror).
#
# Installs nothing: scripts/setup.sh takes care of the packages.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
triple=x86_64-w64-mingw32 toolchain=mingw-w64.cmake package=g++-mingw-w64-x86-64-posix
if [[ "${1:-}" == --i686 ]]; then
    triple=i686-w64-mingw32 toolchain=mingw-w64-i686.cmake package=g++-mingw-w64-i686-posix
    shift
fi
# A relative BUILD_DIR is taken from where the script was called.
build_dir="$(realpath -m -- "${1:-$repo_root/build-win}")"
shift $(($# > 0 ? 1 : 0))
targets=("${@:-blitview}")
cd "$repo_root"

missing=()
for tool in "$triple-g++-posix" "$triple-windres" cmake ninja; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if ((${#missing[@]})); then
    echo "build-windows.sh: missing: ${missing[*]}" >&2
    echo "build-windows.sh: install $package, cmake and ninja-build (scripts/setup.sh does)" >&2
    exit 1
fi

cmake -S "$repo_root" -B "$build_dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo_root/cmake/$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS="${BLITVIEW_WINDOWS_CXXFLAGS:-}" \
    -DBLITVIEW_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target "${targets[@]}"
