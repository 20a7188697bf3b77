#!/usr/bin/env bash
# Shows the same pictures and vector files in a host window with both builds,
# the Linux one against a stand-in X window and the Windows one under Wine
# against a real Win32 window (real GDI), and requires the captured window
# rectangles to be identical pixel for pixel, with the same exit status.
#
#   view_compare.sh BINARY_DIR LINUX_BLITVIEW VIEW_CAPTURE VIEW_INPUTS
#
# The Windows build and the Windows host (tests/wine/view_host.cpp) are made
# in BINARY_DIR/windows and the Wine prefix kept in BINARY_DIR/wine
# (scripts/wine-env.sh). VIEW_CAPTURE and VIEW_INPUTS are the Linux helper
# programs of tests/wine. Prints one line per case and ends with "N passed, M
# failed"; the exit status is non-zero when a case failed or a tool is
# missing.
#
# The lines themselves are left out: under Wine a line drawn into another
# process's window is drawn by the X server, whose choice at exact half-way
# ties is not GDI's, while Windows draws into any window with GDI's rules. So
# every vector file is cut to its 4-byte header here, and the vector and
# combined cases compare what the Wine setup shows faithfully: the picture,
# the background, the white picture rectangle and the frame.
# tests/wine/polyline_compare.sh compares the lines of the same files against
# the real GDI on memory bitmaps, with the records read and where they stop.
#
# How each side is captured: the Wine side draws into another process's
# window, which reaches the X screen but not that window's own surface, so
# both sides are read back from the X root window (view_capture grab) while
# the host window is still up.
#
# Environment:
#   BLITVIEW_VIEW_SEED    seed of the random vector files (default fixed)
#   BLITVIEW_VIEW_RANDOM  how many random cases (default 24)
#   VIEW_COMPARE_KEEP=1   keep the work directory with inputs and captures
#   BLITVIEW_WINDOWS_EXE  a blitview.exe to run instead of building one
#   BLITVIEW_WINE_DIR     where the Wine prefix is kept instead of BINARY_DIR/wine
set -euo pipefail

if (($# != 4)); then
    echo "usage: $0 BINARY_DIR LINUX_BLITVIEW VIEW_CAPTURE VIEW_INPUTS" >&2
    exit 2
fi
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
mapfile -t paths < <(realpath -m -- "$@")
binary_dir="${paths[0]}" linux_exe="${paths[1]}" view_capture="${paths[2]}" view_inputs="${paths[3]}"

# shellcheck source=SCRIPTDIR/../../scripts/wine-env.sh
source "$source_dir/scripts/wine-env.sh"
wine_env_need_programs view_compare "$linux_exe" "$view_capture" "$view_inputs"
if [[ -n "${BLITVIEW_WINDOWS_EXE:-}" ]]; then
    wine_env_build "$binary_dir/windows" view_host
    windows_exe="$BLITVIEW_WINDOWS_EXE"
else
    wine_env_build "$binary_dir/windows" blitview view_host
    windows_exe="$binary_dir/windows/blitview.exe"
fi
host_exe="$binary_dir/windows/view_host.exe"
host_loader=$(wine_env_loader "$host_exe")
wine_env_make_work view "${VIEW_COMPARE_KEEP:-}"
work="$WINE_ENV_WORK"
mkdir "$work/in" "$work/linux" "$work/windows"

"$view_inputs" "$work/in" "$source_dir/tests/data/bmpsuite" "${BLITVIEW_VIEW_SEED:-20240613}" \
    "${BLITVIEW_VIEW_RANDOM:-24}"
# A header alone: the box is prepared and the clip selected, no line drawn.
for vector_file in "$work/in"/*.VCT; do
    [[ -e "$vector_file" ]] || continue
    truncate -s '<4' -- "$vector_file"
done
mapfile -t cases <"$work/in/cases.txt"
count=${#cases[@]}
if ((count == 0)); then
    echo "view_compare: no cases"
    echo "0 passed, 0 failed"
    exit 1
fi

# The Linux side: one private X server, every case in one helper process.
linux_ok=1
"$source_dir/tests/fixtures/with_xvfb.sh" "$view_capture" run "$work/in/cases.txt" "$work/in" "$work/linux" || linux_ok=0

# The Windows side: for each case a host process maps its window and runs
# blitview.exe; once it reports, the screen is captured and the host let go.
if ! wine_env_start "${BLITVIEW_WINE_DIR:-$binary_dir/wine}"; then
    echo "view_compare: cannot run the Windows build without Wine" >&2
    echo "0 passed, $count failed"
    exit 1
fi

windows_blitview="$(wine_env_winpath "$windows_exe")"
declare -A windows_note=()
started=$SECONDS
for line in "${cases[@]}"; do
    read -r name host_x host_y host_w host_h host_rgb sample_rgb mode file x1 y1 x2 y2 <<<"$line"
    ready="$work/windows/$name.ready"
    release="$work/windows/$name.release"
    sample_y=$((y2 - y1 + 2))
    # Wine draws into another process's window with X requests of its own,
    # and a process that ends right after its last drawing can leave those
    # in its unflushed Xlib buffer: the box then never reaches the screen.
    # Wine's "synchronous" debug channel makes every X request wait for the
    # server, which changes no pixel but loses nothing.
    WINEDEBUG=-all,+synchronous "$host_loader" "$host_exe" "$host_x" "$host_y" "$host_w" "$host_h" "$host_rgb" \
        0 "$sample_y" "$sample_rgb" "$(wine_env_winpath "$ready")" "$(wine_env_winpath "$release")" "$windows_blitview" \
        "$mode" "$(wine_env_winpath "$work/in/$file")" "$x1" "$y1" "$x2" "$y2" \
        </dev/null >"$work/windows/$name.log" 2>&1 &
    host_pid=$!
    # At most 60 s for the window to show and the program to finish.
    for ((tick = 0; tick < 6000; tick++)); do
        [[ -e "$ready" ]] && break
        kill -0 "$host_pid" 2>/dev/null || break
        sleep 0.01
    done
    if [[ -e "$ready" ]]; then
        read -r status client_x client_y < <(tr -d '\r' <"$ready")
        echo "$status" >"$work/windows/$name.status"
        if [[ "$client_x $client_y" != "$host_x $host_y" ]]; then
            windows_note[$name]="the host's client origin is ($client_x,$client_y), not ($host_x,$host_y)"
        fi
        "$view_capture" grab "$host_x" "$host_y" "$host_w" "$host_h" "$work/windows/$name.raw" ||
            windows_note[$name]="no capture of the screen"
    else
        windows_note[$name]="the host did not report: $(tr -d '\r' <"$work/windows/$name.log" | tail -n 2 | tr '\n' ' ')"
    fi
    : >"$release"
    wait "$host_pid" || true
done
windows_seconds=$((SECONDS - started))
wine_env_stop

for line in "${cases[@]}"; do
    read -r name host_x host_y host_w host_h _ <<<"$line"
    problem=""
    if [[ -n "${windows_note[$name]:-}" ]]; then
        problem="${windows_note[$name]}"
    elif [[ ! -e "$work/linux/$name.raw" ]]; then
        problem="no Linux capture"
    else
        linux_status=$(<"$work/linux/$name.status")
        windows_status=$(<"$work/windows/$name.status")
        if [[ "$linux_status" != "$windows_status" ]]; then
            problem="exit status linux $linux_status, windows $windows_status"
        fi
        if ! cmp -s -- "$work/linux/$name.raw" "$work/windows/$name.raw"; then
            # diff's status is 1 for any difference; its line is what counts.
            difference=$("$view_capture" diff "$work/linux/$name.raw" "$work/windows/$name.raw" "$host_w" || true)
            problem+="${problem:+; }${difference/first\/second/linux\/windows} (window at $host_x,$host_y)"
        fi
    fi
    wine_env_verdict "$name" "$problem"
done

echo "view_compare: $count cases, Windows side ${windows_seconds}s" >&2
((linux_ok)) || echo "view_compare: the Linux side reported errors" >&2
wine_env_tally
((WINE_ENV_FAILED == 0 && linux_ok))
