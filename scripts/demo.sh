#!/usr/bin/env bash
# The main job on the bundled sample: builds blitview, converts a copy of
# examples/sample.drw in place into a BMP and has blitview-inspect write a
# PNG of it beside it for a person to look at; then shows that BMP with the
# vector overlay of examples/sample.VCT in a stand-in host window (on a
# private Xvfb when there is no display) and saves a screenshot of the window.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"

scripts/setup.sh
cmake -S . -B build -G Ninja -DBLITVIEW_TESTS=AUTO >/dev/null
cmake --build build --target blitview blitview-inspect demo_host >/dev/null

mkdir -p out
cp examples/sample.drw out/sample.drw
if ! build/blitview -f out/sample.drw; then
    echo "demo: blitview -f failed" >&2
    exit 1
fi
# The picture as -b shows it, upright, at its natural size.
build/blitview-inspect --png out/sample.png out/sample.drw >/dev/null
echo "converted: $repo/out/sample.drw (now a BMP, $(stat -c %s out/sample.drw) bytes)"
echo "to look at: $repo/out/sample.png"

# The window modes: the host's window at (60, 40), 560 x 440 on screen; the
# picture goes into the 512 x 384 box at its client origin.
cp out/sample.drw out/sample.bmp
cp examples/sample.VCT out/sample.VCT
if [ -z "${DISPLAY:-}" ]; then
    # shellcheck source=SCRIPTDIR/xvfb.sh
    source scripts/xvfb.sh
    trap xvfb_stop EXIT
    xvfb_start 1024x768 /dev/null
fi
build/demo_host 60 40 560 440 out/window.png build/blitview -d "$repo/out/sample.bmp" 60 40 572 424
echo "shown in a window: $repo/out/window.png"
