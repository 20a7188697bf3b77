#!/usr/bin/env bash
# Draws the polylines of every vector case of the window comparison with our
# GDI and with the real one (the Windows build of tests/wine/polyline_probe.cpp,
# under Wine), each into a white memory bitmap of the case's box, and requires
# the same records drawn and the same pixels, case by case.
#
#   polyline_compare.sh BINARY_DIR LINUX_PROBE VIEW_INPUTS VIEW_CAPTURE
#
# The Windows probe is built from the same sources as blitview.exe into
# BINARY_DIR/windows, and the Wine prefix in BINARY_DIR/wine is shared with
# the other Wine tests (scripts/wine-env.sh). VIEW_CAPTURE only describes
# differences. A missing compiler, Wine or Xvfb is a failure, not a skip.
#
# Environment (the same cases as the window comparison by default):
#   BLITVIEW_VIEW_SEED        seed of the random vector files (default fixed)
#   BLITVIEW_VIEW_RANDOM      how many random cases (default 24)
#   POLYLINE_COMPARE_KEEP=1   keep the work directory with inputs and dumps
set -euo pipefail

if (($# != 4)); then
    echo "usage: $0 BINARY_DIR LINUX_PROBE VIEW_INPUTS VIEW_CAPTURE" >&2
    exit 2
fi
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
mapfile -t paths < <(realpath -m -- "$@")
binary_dir="${paths[0]}" linux_probe="${paths[1]}" view_inputs="${paths[2]}" view_capture="${paths[3]}"
# shellcheck source=SCRIPTDIR/../../scripts/wine-env.sh
source "$source_dir/scripts/wine-env.sh"
wine_env_need_programs polyline_compare "$linux_probe" "$view_inputs" "$view_capture"
wine_env_build "$binary_dir/windows" polyline_probe
exe="$binary_dir/windows/polyline_probe.exe"
wine_env_make_work polyline "${POLYLINE_COMPARE_KEEP:-}"
work="$WINE_ENV_WORK"
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

wine_env_start "$binary_dir/wine"
windows_ok=1
started=$SECONDS
"$(wine_env_loader "$exe")" "$exe" "$(wine_env_winpath "$work/in/cases.txt")" "$(wine_env_winpath "$work/in")" \
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
    wine_env_verdict "$name" "$problem" "$ours"
done

echo "polyline_compare: $count cases, Windows side ${windows_seconds}s" >&2
wine_env_tally
((WINE_ENV_FAILED == 0 && problems == 0))
