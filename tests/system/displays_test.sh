#!/usr/bin/env bash
# The window modes on the X displays users have, one row per setting, each on
# a private server of its own: the same jobs (tests/fixtures/display_host.cpp)
# in every row, and every pixel of the box and of the margin around it
# compared with the depth-24 row converted by the row's visual. A component
# that cannot start skips its row with the reason; the test fails when a row
# fails, and reports a skip (77) only when no row but the reference ran.
#   displays_test.sh SOURCE_DIR BLITVIEW DISPLAY_HOST XLIB_HOST
set -uo pipefail
source_dir=$1 blitview=$2 display_host=$3 xlib_host=$4

work=$(mktemp -d)
pids=()
stop_all() {
    local pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    pids=()
}
trap 'stop_all; rm -rf "$work"' EXIT
# blitview claims one copy per user through its runtime directory.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# shellcheck source=SCRIPTDIR/../../scripts/xvfb.sh
source "$source_dir/scripts/xvfb.sh"
# Starts Xvfb with ARGS, exports DISPLAY; 1 with the reason in $reason.
start_xvfb() {
    if ! xvfb_start_screens "$work/xvfb.log" "$@" 2>"$work/xvfb.err"; then
        reason="Xvfb $* does not start: $(grep -m1 -i 'error\|unsupported\|invalid' "$work/xvfb.log" || cat "$work/xvfb.err")"
        return 1
    fi
    pids+=("$XVFB_PID")
    XVFB_PID=""
}

# Waits up to 10 s for COMMAND to succeed.
wait_for() {
    for _ in $(seq 200); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    return 1
}

passed=0 failed=0 skipped=0
report() {  # ROW STATUS [REASON]
    case $2 in
        pass) passed=$((passed + 1)); echo "row $1: pass" ;;
        skip) skipped=$((skipped + 1)); echo "row $1: SKIP: $3" ;;
        *) failed=$((failed + 1)); echo "row $1: FAIL" ;;
    esac
}

# One row on a plain Xvfb: NAME KIND X Y XVFB-ARGS...
xvfb_row() {
    local name=$1 kind=$2 x=$3 y=$4
    shift 4
    mkdir -p "$work/$name"
    if ! start_xvfb "$@"; then
        report "$name" skip "$reason"
    elif "$display_host" run "$work" "$work/$name" "$blitview" "$x" "$y" "$kind" "$work/ref"; then
        report "$name" pass
    else
        report "$name" fail
    fi
    stop_all
}

"$display_host" inputs "$work" || exit 1
mkdir "$work/ref"
start_xvfb -screen 0 1280x1024x24 || { echo "displays_test: SKIP: $reason"; exit 77; }
"$display_host" run "$work" "$work/ref" "$blitview" 40 40 plain || { echo "row depth-24 (reference): FAIL"; exit 1; }
echo "row depth-24 (reference): pass"
stop_all

xvfb_row depth-8-pseudocolor plain 40 40 -screen 0 1280x1024x8
# Each job's colour cells are its own, given back when it ends: a server that
# takes 64 clients still takes one after 70 jobs on its colormap.
mkdir -p "$work/colormap-jobs"
if ! start_xvfb -screen 0 640x480x8 -maxclients 64; then
    report colormap-jobs skip "$reason"
else
    cp "$work/pal.bmp" "$work/colormap-jobs/pal.bmp"
    jobs_failed=0
    for _ in $(seq 70); do
        "$blitview" -b "$work/colormap-jobs/pal.bmp" 10 10 200 150 || jobs_failed=$((jobs_failed + 1))
    done
    if [ "$jobs_failed" = 0 ] && xdpyinfo >/dev/null 2>&1; then
        report colormap-jobs pass
    else
        echo "colormap-jobs: $jobs_failed of 70 jobs failed; xdpyinfo: $(xdpyinfo 2>&1 | tail -n1)"
        report colormap-jobs fail
    fi
fi
stop_all
xvfb_row depth-8-staticcolor plain 40 40 -screen 0 1280x1024x8 -cc 2
xvfb_row depth-8-grayscale plain 40 40 -screen 0 1280x1024x8 -cc 1
xvfb_row depth-8-staticgray plain 40 40 -screen 0 1280x1024x8 -cc 0
xvfb_row depth-15 plain 40 40 -screen 0 1280x1024x15
xvfb_row depth-16 plain 40 40 -screen 0 1280x1024x16
xvfb_row depth-30 plain 40 40 -screen 0 1280x1024x30
xvfb_row depth-24-directcolor-refused plain 40 40 -screen 0 1280x1024x24 -cc 5
xvfb_row argb-window argb 40 40 -screen 0 1280x1024x24
# The host on screen 1, blitview told the same by DISPLAY.
mkdir -p "$work/screen-1"
if start_xvfb -screen 0 800x600x24 -screen 1 1280x1024x24; then
    if DISPLAY=$DISPLAY.1 "$display_host" run "$work" "$work/screen-1" "$blitview" 40 40 plain "$work/ref"; then
        report screen-1 pass
    else
        report screen-1 fail
    fi
else
    report screen-1 skip "$reason"
fi
stop_all
xvfb_row xinerama-second-head plain 700 40 +xinerama -screen 0 640x600x24 -screen 1 1280x1024x24

# A reparenting window manager with a compositor.
mkdir -p "$work/openbox-picom"
if ! command -v openbox >/dev/null || ! command -v picom >/dev/null; then
    report openbox-picom skip "openbox or picom is not installed (scripts/setup.sh --test installs them)"
elif ! start_xvfb -screen 0 1280x1024x24; then
    report openbox-picom skip "$reason"
else
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    pids+=($!)
    if ! wait_for sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'; then
        report openbox-picom skip "openbox does not start: $(tail -n1 "$work/openbox.log")"
    else
        picom --backend xrender >"$work/picom.log" 2>&1 &
        pids+=($!)
        sleep 1
        if ! kill -0 "${pids[-1]}" 2>/dev/null; then
            report openbox-picom skip "picom does not start: $(tail -n1 "$work/picom.log")"
        elif "$display_host" run "$work" "$work/openbox-picom" "$blitview" 100 100 managed "$work/ref"; then
            report openbox-picom pass
        else
            report openbox-picom fail
        fi
    fi
fi
stop_all

# weston's headless backend with XWayland: both example hosts, started as a
# user starts them, each running every job in its box.
weston_row() {
    local python="" wayland="$work/wayland" display_number
    for candidate in python3 /usr/bin/python3; do
        "$candidate" -c 'import tkinter' 2>/dev/null && { python=$candidate; break; }
    done
    command -v weston >/dev/null || { report weston-xwayland skip "weston is not installed"; return; }
    command -v Xwayland >/dev/null || { report weston-xwayland skip "Xwayland is not installed"; return; }
    [[ -n $python ]] || { report weston-xwayland skip "no Python with Tkinter"; return; }
    mkdir -m 700 "$wayland"
    XDG_RUNTIME_DIR=$wayland weston --backend=headless-backend.so --use-pixman --xwayland --socket=wayland-bv \
        --width=1280 --height=1024 --idle-time=0 --log="$work/weston.log" >/dev/null 2>&1 &
    pids+=($!)
    if ! wait_for grep -q "xserver listening on display" "$work/weston.log"; then
        report weston-xwayland skip "weston with XWayland does not start: $(tail -n2 "$work/weston.log" 2>/dev/null)"
        return
    fi
    display_number=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston.log" | head -n1)
    export DISPLAY=$display_number WAYLAND_DISPLAY=wayland-bv
    local host job mode file status ok=1
    for host in xlib tk; do
        for job in b24:-b:pic.bmp b8:-b:pal.bmp v:-v:pic.bmp d:-d:pic.bmp; do
            IFS=: read -r name mode file <<<"$job"
            case $host in
                xlib) "$xlib_host" "$mode" "$work/$file" "$blitview" >"$work/host.out" 2>&1 & ;;
                tk) "$python" "$source_dir/examples/tk_host.py" "$mode" "$work/$file" "$blitview" >"$work/host.out" 2>&1 & ;;
            esac
            pids+=($!)
            if ! wait_for grep -q ': exit status ' "$work/host.out"; then
                echo "weston $host $name: no job ran: $(cat "$work/host.out")" >&2
                ok=0
            else
                # weston places a new window a moment after it shows, and
                # the hosts run a job that met the move again.
                sleep 2.5
                status=$(sed -n 's/.*: exit status \(.*\)/\1/p' "$work/host.out" | tail -n1)
                if [[ $status != 0 ]]; then
                    echo "weston $host $name: exit status $status" >&2
                    ok=0
                elif ! "$display_host" grab 512 403 "$work/ref" "$name"; then
                    echo "weston $host $name: the box differs" >&2
                    ok=0
                fi
            fi
            kill "${pids[-1]}" 2>/dev/null && wait "${pids[-1]}" 2>/dev/null
            unset 'pids[-1]'
        done
    done
    ((ok)) && report weston-xwayland pass || report weston-xwayland fail
}
weston_row
stop_all
unset WAYLAND_DISPLAY

echo "displays_test: $passed passed, $failed failed, $skipped skipped"
((failed == 0)) || exit 1
((passed > 0)) || exit 77
exit 0
