#!/usr/bin/env bash
# The native Wayland example host of docs/hosting.md under weston's headless
# backend, without XWayland: the host renders the sample with
# blitview-inspect --render -d and paints it in its box, and the box that
# weston composited, found in its screenshot wherever weston placed the
# window, must be pixel for pixel the box that blitview -d draws into a
# stand-in X window of the host's colour on a private X server.
#   wayland_host_test.sh SOURCE_DIR BLITVIEW BLITVIEW_INSPECT VIEW_CAPTURE
# Exits 77 (a skip) with the reason where weston's headless backend or GTK 4
# for Python is missing.
set -euo pipefail
source_dir=$1 blitview=$2 inspect=$3 view_capture=$4
# shellcheck source=SCRIPTDIR/../../scripts/xvfb.sh
source "$source_dir/scripts/xvfb.sh"

work=$(mktemp -d)
weston="" host=""
stop() {
    [[ -n $host ]] && { kill "$host" 2>/dev/null; wait "$host" 2>/dev/null || true; }
    [[ -n $weston ]] && { kill "$weston" 2>/dev/null; wait "$weston" 2>/dev/null || true; }
    xvfb_stop
    rm -rf "$work"
}
trap stop EXIT

fail() {
    echo "wayland_host_test: $*" >&2
    exit 1
}
skip() {
    echo "wayland_host_test: SKIP: $*"
    exit 77
}

if ! command -v weston >/dev/null || ! command -v weston-screenshooter >/dev/null; then
    skip "no weston or weston-screenshooter (scripts/setup.sh --test installs weston)"
fi
compgen -G "/usr/lib/*/libweston-*/headless-backend.so" >/dev/null || skip "weston has no headless backend"
# shellcheck source=SCRIPTDIR/../fixtures/find_python.sh
source "$source_dir/tests/fixtures/find_python.sh"
find_python 'import gi, cairo; gi.require_version("Gtk", "4.0"); gi.require_foreign("cairo")' || skip "no Python with GTK 4 and cairo (scripts/setup.sh --test installs python3-gi, python3-gi-cairo, gir1.2-gtk-4.0)"

cp "$source_dir/examples/sample.drw" "$work/sample.bmp"
cp "$source_dir/examples/sample.VCT" "$work/sample.VCT"
# A runtime directory of our own: weston's socket, and the claim of every
# blitview run here.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
"$blitview" -f "$work/sample.bmp" || fail "blitview -f failed on the sample"

# The pixman renderer: the headless backend's default renders nothing. The
# screenshooter is allowed only with --debug. No --xwayland and no
# configuration, so that no X server is there to fall back to.
unset DISPLAY
weston --backend=headless-backend.so --use-pixman --debug --no-config --socket=wayland-blitview \
    --width=1024 --height=768 --idle-time=0 --log="$work/weston.log" >/dev/null 2>&1 &
weston=$!
for _ in $(seq 200); do
    [[ -S $XDG_RUNTIME_DIR/wayland-blitview ]] && break
    kill -0 "$weston" 2>/dev/null || fail "weston exited: $(tail -n 5 "$work/weston.log")"
    sleep 0.05
done
[[ -S $XDG_RUNTIME_DIR/wayland-blitview ]] || fail "weston did not start within 10 s"
export WAYLAND_DISPLAY=wayland-blitview

GDK_BACKEND=wayland "$python" "$source_dir/examples/gtk4_host.py" -d "$work/sample.bmp" "$inspect" \
    >"$work/host.out" 2>"$work/host.err" &
host=$!
for _ in $(seq 400); do
    grep -q '^shown ' "$work/host.out" && break
    kill -0 "$host" 2>/dev/null || fail "the host exited: $(cat "$work/host.out" "$work/host.err")"
    sleep 0.05
done
grep -q '^shown ' "$work/host.out" || fail "the host showed no box within 20 s: $(cat "$work/host.out" "$work/host.err")"
read -r width height < <(sed -n 's/^shown \([0-9]*\)x\([0-9]*\)$/\1 \2/p' "$work/host.out" | head -n 1)
grep -q -- "--render d --box ${width}x$height --background d4d0c8 --ppm - $work/sample.bmp: exit status 0" \
    "$work/host.out" || fail "the host's job was not the one expected: $(cat "$work/host.out")"

# The same job in a stand-in X window of the host's colour: the box and the
# three rows below it.
xvfb_start 1280x1024 "$work/xvfb.log"
echo "stand-in 0 0 $width $((height + 3)) d4d0c8 d4d0c8 -d sample.bmp 0 0 $width $height" >"$work/cases"
"$view_capture" run "$work/cases" "$work" "$work"
[[ $(cat "$work/stand-in.status") == 0 ]] || fail "blitview -d failed in the stand-in window"

# The frame the host painted reaches weston's output on a later repaint:
# screenshots are taken until one holds the box.
mkdir "$work/shots"
found=""
for _ in $(seq 20); do
    rm -f "$work/shots/"*.png
    (cd "$work/shots" && weston-screenshooter) || fail "weston-screenshooter failed"
    shot=$(ls "$work/shots/"*.png)
    if found=$("$python" - "$shot" "$work/stand-in.raw" "$width" "$height" <<'EOF'
# Finds the box of the stand-in capture (0x00RRGGBB words, little-endian, the
# box's rows first) in the screenshot and prints where, or exits 1.
import sys
import gi
gi.require_version("GdkPixbuf", "2.0")
from gi.repository import GdkPixbuf

shot, raw, width, height = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
words = open(raw, "rb").read()
box = []
for row in range(height):
    line = words[row * width * 4:(row + 1) * width * 4]
    rgb = bytearray(width * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = line[2::4], line[1::4], line[0::4]
    box.append(bytes(rgb))
picture = GdkPixbuf.Pixbuf.new_from_file(shot)
step, stride, pixels = picture.get_n_channels(), picture.get_rowstride(), picture.get_pixels()
rows = []
for y in range(picture.get_height()):
    line = pixels[y * stride:y * stride + picture.get_width() * step]
    rgb = bytearray(picture.get_width() * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = line[0::step], line[1::step], line[2::step]
    rows.append(bytes(rgb))
# Located by the middle row, which crosses the picture, then checked whole.
middle = height // 2
for y in range(middle, len(rows) - (height - middle) + 1):
    at = rows[y].find(box[middle])
    while at >= 0:
        top = y - middle
        if at % 3 == 0 and all(rows[top + r][at:at + width * 3] == box[r] for r in range(height)):
            print(at // 3, top)
            sys.exit(0)
        at = rows[y].find(box[middle], at + 1)
sys.exit(1)
EOF
    ); then
        break
    fi
    sleep 0.25
done
[[ -n $found ]] || fail "weston's screenshot holds nowhere the ${width} x $height box that blitview -d drew in the stand-in"
echo "wayland host: the box weston composited at $found matches the stand-in's ${width} x $height box"
