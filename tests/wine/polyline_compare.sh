#!/usr/bin/env bash
# Draws the polylines of every vector case of the window comparison with our
# GDI and with the real one (the Windows build of tests/wine/polyline_probe.cpp,
# under Wine), each into a white memory bitmap of the case's box, and requires
# the same records drawn and the same pixels, case by case.
#
#   polyline_compare.sh SOURCE_DIR BINARY_DIR LINUX_PROBE VIEW_INPUTS VIEW_CAPTURE PORTABLE_SOURCE...
#
# PORTABLE_SOURCE are the program's sources common to both platforms, relative
# to SOURCE_DIR; the Windows probe is built from them, platform/surface_win32.cpp
# and the probe with MinGW-w64 into BINARY_DIR/wine-polyline, again only when
# a source or header changed. The Wine prefix in BINARY_DIR/wine is shared
# with the other Wine tests. VIEW_CAPTURE only describes differences. A
# missing compiler, Wine or Xvfb is a failure, not a skip.
#
# Environment (the same cases as the window comparison by default):
#   BLITVIEW_VIEW_SEED        seed of the random vector files (default fixed)
#   BLITVIEW_VIEW_RANDOM      how many random cases (default 24)
#   POLYLINE_COMPARE_KEEP=1   keep the work directory with inputs and dumps
set -euo pipefail

if (($# < 6)); then
    echo "usage: $0 SOURCE_DIR BINARY_DIR LINUX_PROBE VIEW_INPUTS VIEW_CAPTURE PORTABLE_SOURCE..." >&2
    exit 2
fi
source_dir="$(realpath -- "$1")"
mkdir -p "$2"
binary_dir="$(realpath -- "$2")"
linux_probe="$(realpath -- "$3")"
view_inputs="$(realpath -- "$4")"
view_capture="$(realpath -- "$5")"
shift 5
for program in "$linux_probe" "$view_inputs" "$view_capture"; do
    [[ -x "$program" ]] || { echo "polyline_compare: not an executable: $program" >&2; exit 2; }
done
command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
    { echo "polyline_compare: x86_64-w64-mingw32-g++-posix not found" >&2; exit 1; }

out="$binary_dir/wine-polyline"
mkdir -p "$out"
exe="$out/polyline_probe.exe"
sources=("$source_dir/tests/wine/polyline_probe.cpp" "$source_dir"/platform/*_win32.cpp)
for relative in "$@"; do
    sources+=("$source_dir/$relative")
done
# Rebuilt when the probe, a source or any header of the program is newer.
stale=0
if [[ ! -f "$exe" ]]; then
    stale=1
else
    for file in "${sources[@]}" "$source_dir"/{app,bitmap,drawing,platform,present}/*.h; do
        [[ -e "$file" ]] || continue
        if [[ "$file" -nt "$exe" ]]; then
            stale=1
            break
        fi
    done
fi
if ((stale)); then
    started=$SECONDS
    x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -Wall -Wextra -Wshadow -fno-exceptions -I"$source_dir" \
        "${sources[@]}" -static -lgdi32 -luser32 -lkernel32 -o "$exe.new"
    mv -- "$exe.new" "$exe"
    echo "polyline_compare: Windows probe built in $((SECONDS - started))s" >&2
fi

work="$(mktemp -d /tmp/blitview-polyline.XXXXXX)"
remove_work() {
    if [[ "${POLYLINE_COMPARE_KEEP:-}" == 1 ]]; then
        echo "polyline_compare: results kept in $work" >&2
    else
        rm -rf "$work"
    fi
}
trap remove_work EXIT
mkdir "$work/in" "$work/linux" "$work/windows"

"$view_inputs" "$work/in" "$source_dir/tests/data/bmpsuite" "${BLITVIEW_VIEW_SEED:-20240613}" \
    "${BLITVIEW_VIEW_RANDOM:-24}"
# The vector cases: mode "-v" or "-d" in the eighth column.
mapfile -t names < <(awk '$8 == "-v" || $8 == "-d" { print $1 }' "$work/in/cases.txt")
count=${#names[@]}
if ((count == 0)); then
    echo "polyline_compare: no vector cases" >&2
    exit 1
fi

linux_ok=1
"$linux_probe" "$work/in/cases.txt" "$work/in" "$work/linux" >"$work/linux.txt" || linux_ok=0

# shellcheck source=../../scripts/wine-env.sh
source "$source_dir/scripts/wine-env.sh"
wine_env_start "$binary_dir/wine"
windows_ok=1
started=$SECONDS
wine "$exe" "$(wine_env_winpath "$work/in/cases.txt")" "$(wine_env_winpath "$work/in")" \
    "$(wine_env_winpath "$work/windows")" </dev/null 2>"$work/windows.log" | tr -d '\r' >"$work/windows.txt" ||
    windows_ok=0
windows_seconds=$((SECONDS - started))
wine_env_stop

# Both probes report every vector case, in the table's order.
problems=0
if ((!linux_ok)); then
    echo "polyline_compare: the Linux probe failed" >&2
    problems=1
fi
if ((!windows_ok)); then
    echo "polyline_compare: the Windows probe failed: $(tail -n 3 "$work/windows.log")" >&2
    problems=1
fi
declare -A linux_line=() windows_line=()
while read -r name rest; do linux_line[$name]="$rest"; done <"$work/linux.txt"
while read -r name rest; do windows_line[$name]="$rest"; done <"$work/windows.txt"

passed=0
failed=0
for name in "${names[@]}"; do
    ours="${linux_line[$name]:-}"
    theirs="${windows_line[$name]:-}"
    problem=""
    if [[ -z "$ours" || -z "$theirs" ]]; then
        problem="not reported (linux '${ours}', windows '${theirs}')"
    elif [[ "$ours" != "$theirs" ]]; then
        problem="linux '$ours', windows '$theirs'"
    elif [[ ! -e "$work/linux/$name.raw" || ! -e "$work/windows/$name.raw" ]]; then
        problem="no dump ($ours)"
    elif ! cmp -s -- "$work/linux/$name.raw" "$work/windows/$name.raw"; then
        read -r box _ <<<"$ours"
        difference=$("$view_capture" diff "$work/linux/$name.raw" "$work/windows/$name.raw" "${box%x*}" || true)
        problem="${difference/first\/second/linux\/windows}"
    fi
    if [[ -z "$problem" ]]; then
        echo "$name: same ($ours)"
        passed=$((passed + 1))
    else
        echo "$name: DIFFERENT: $problem"
        failed=$((failed + 1))
    fi
done

echo "polyline_compare: $count cases, Windows side ${windows_seconds}s" >&2
echo "$passed passed, $failed failed"
((failed == 0 && problems == 0))
