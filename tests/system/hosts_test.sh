#!/usr/bin/env bash
# The example hosts of docs/hosting.md on a private X server. Each host shows
# the sample, converted by -f, with -b in its box. What its window then shows
# is compared, pixel for pixel over the box and the rows below it, with the
# same job run into a stand-in host window of the same place, size and colour.
# The stand-in is mapped over the host, so taking it away again uncovers the
# host's box, and the host must then show the same pixels once more.
#   hosts_test.sh SOURCE_DIR BLITVIEW VIEW_CAPTURE XLIB_HOST
set -euo pipefail
source_dir=$1 blitview=$2 view_capture=$3 xlib_host=$4

# shellcheck source=SCRIPTDIR/../../scripts/xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"

work=$(mktemp -d)
host=""
stop() {
    [[ -n $host ]] && { kill "$host" 2>/dev/null; wait "$host" 2>/dev/null || true; }
    xvfb_stop
    rm -rf "$work"
}
trap stop EXIT

fail() {
    echo "hosts_test: $*" >&2
    exit 1
}

# Waits until the host has printed COUNT exit statuses.
wait_for_jobs() {
    local count=$1
    for _ in $(seq 400); do
        (($(grep -c ': exit status ' "$work/host.out" || true) >= count)) && return
        kill -0 "$host" 2>/dev/null || fail "$name exited early: $(cat "$work/host.out" "$work/host.err")"
        sleep 0.05
    done
    fail "$name ran no job $count within 20 s: $(cat "$work/host.out" "$work/host.err")"
}

# The colour of pixel (X, Y) in a capture WIDTH pixels wide, as 6 hex digits.
pixel() {
    od -An -tx4 -j $((($2 * $3 + $1) * 4)) -N4 "$4" | tr -d ' ' | cut -c3-
}

# shellcheck source=SCRIPTDIR/../fixtures/find_python.sh
source "$source_dir/tests/fixtures/find_python.sh"
find_python 'import tkinter' || fail "no Python with Tkinter (scripts/setup.sh --test installs python3-tk)"
xvfb_start 1280x1024 "$work/xvfb.log" || fail "no private X server"
cp "$source_dir/examples/sample.drw" "$work/sample.bmp"
"$blitview" -f "$work/sample.bmp" || fail "blitview -f failed on the sample"

for name in xlib tk; do
    case $name in
        xlib) run=("$xlib_host") ;;
        tk) run=("$python" "$source_dir/examples/tk_host.py") ;;
    esac
    "${run[@]}" -b "$work/sample.bmp" "$blitview" >"$work/host.out" 2>"$work/host.err" &
    host=$!
    wait_for_jobs 1
    read -r x1 y1 x2 y2 status < <(sed -n 's/.* \([0-9]*\) \([0-9]*\) \([0-9]*\) \([0-9]*\): exit status \(.*\)/\1 \2 \3 \4 \5/p' \
        "$work/host.out" | head -n 1)
    [[ $status == 0 ]] || fail "$name: blitview exited with $status"
    # The box and the three rows below it, the last of which gives the
    # colour of the box's window.
    width=$((x2 - x1)) height=$((y2 - y1 + 3))
    "$view_capture" grab "$x1" "$y1" "$width" "$height" "$work/$name.raw"
    colour=$(pixel 0 $((height - 1)) "$width" "$work/$name.raw")

    echo "stand-in $x1 $y1 $width $height $colour $colour -b sample.bmp $x1 $y1 $x2 $y2" >"$work/cases"
    "$view_capture" run "$work/cases" "$work" "$work"
    [[ $(cat "$work/stand-in.status") == 0 ]] || fail "$name: blitview failed in the stand-in window"
    "$view_capture" diff "$work/$name.raw" "$work/stand-in.raw" "$width" ||
        fail "$name: the host's box differs from the stand-in's"

    # The stand-in is gone and the box uncovered: the X server repaints the
    # kept copy for the C host, and the Tk host runs the job again.
    [[ $name == tk ]] && wait_for_jobs 2
    "$view_capture" grab "$x1" "$y1" "$width" "$height" "$work/$name.again.raw"
    "$view_capture" diff "$work/$name.again.raw" "$work/stand-in.raw" "$width" ||
        fail "$name: the host did not restore its box when it was uncovered"
    kill "$host"
    wait "$host" 2>/dev/null || true
    host=""
    echo "$name host: the box matches the stand-in, also after it was uncovered"
done
