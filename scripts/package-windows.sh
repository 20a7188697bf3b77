#!/usr/bin/env bash
# Builds blitview for 64-bit and 32-bit Windows and packs each build as a
# release archive:
#   OUT_DIR/blitview-VERSION-win64.zip   (x86_64)
#   OUT_DIR/blitview-VERSION-win32.zip   (i686)
# each with blitview.exe, README.txt, COPYRIGHT.txt and MANUAL.txt (the
# manual page as plain text), the text files with Windows line ends.
# VERSION is the CMake project version. The builds are made warning-free
# (-Werror, on top of the warnings of the Linux build) in OUT_DIR/win64-build
# and OUT_DIR/win32-build; the files in the archives carry the time of the
# last commit.
#
# Usage: scripts/package-windows.sh [OUT_DIR]   (default: <repo>/build/release)
#
# Installs nothing: scripts/setup.sh --test takes care of the packages.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out_dir="$(realpath -m -- "${1:-$repo_root/build/release}")"

missing=()
for tool in zip groff col x86_64-w64-mingw32-strip i686-w64-mingw32-strip; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if ((${#missing[@]})); then
    echo "package-windows.sh: missing: ${missing[*]} (scripts/setup.sh --test installs them)" >&2
    exit 1
fi

version=$(sed -n 's/^project(blitview VERSION \([0-9.]*\).*/\1/p' "$repo_root/CMakeLists.txt")
[[ -n "$version" ]] || { echo "package-windows.sh: no project version in CMakeLists.txt" >&2; exit 1; }
mkdir -p "$out_dir"

# The times the archives record: the last commit's, else a fixed one.
stamp=$(git -C "$repo_root" log -1 --format=%ct 2>/dev/null || echo 1767225600)

# LF to CRLF, for Notepad and its kin.
crlf() { sed 's/\r*$/\r/'; }

for flavour in win64 win32; do
    if [[ "$flavour" == win64 ]]; then
        arch_option=() triple=x86_64-w64-mingw32 architecture="64-bit, x86-64"
    else
        arch_option=(--i686) triple=i686-w64-mingw32 architecture="32-bit, x86"
    fi
    build_dir="$out_dir/$flavour-build"
    log="$out_dir/$flavour-build.log"
    if ! BLITVIEW_WINDOWS_CXXFLAGS=-Werror "$repo_root/scripts/build-windows.sh" "${arch_option[@]}" \
        "$build_dir" blitview >"$log" 2>&1; then
        cat "$log" >&2
        echo "package-windows.sh: the $flavour build failed" >&2
        exit 1
    fi
    if grep -q 'warning:' "$log"; then
        grep 'warning:' "$log" >&2
        echo "package-windows.sh: the $flavour build has warnings" >&2
        exit 1
    fi

    name="blitview-$version-$flavour"
    stage="$out_dir/$name"
    rm -rf "$stage" "$out_dir/$name.zip"
    mkdir -p "$stage"
    "$triple-strip" -o "$stage/blitview.exe" "$build_dir/blitview.exe"
    sed -e "s/@VERSION@/$version/" -e "s/@ARCHITECTURE@/$architecture/" \
        "$repo_root/packaging/windows/README.txt" | crlf >"$stage/README.txt"
    crlf <"$repo_root/packaging/copyright" >"$stage/COPYRIGHT.txt"
    # Plain ASCII at 78 columns, without the terminal's bold and underline.
    groff -t -man -Tascii -P-c -rLL=78n "$repo_root/man/blitview.1" 2>/dev/null | col -bx | crlf \
        >"$stage/MANUAL.txt"
    [[ -s "$stage/MANUAL.txt" ]] || { echo "package-windows.sh: the manual page did not render" >&2; exit 1; }
    touch -d "@$stamp" "$stage" "$stage"/*
    (cd "$out_dir" && TZ=UTC zip -q -X -D "$name.zip" "$name/blitview.exe" "$name/README.txt" \
        "$name/COPYRIGHT.txt" "$name/MANUAL.txt")
    echo "$out_dir/$name.zip"
done
