#!/usr/bin/env bash
# The main job on the bundled sample: builds blitview, converts a copy of
# examples/sample.drw in place into a BMP, and writes a PNG beside it for a
# person to look at.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"

scripts/setup.sh
cmake -S . -B build -G Ninja -DBLITVIEW_TESTS=AUTO >/dev/null
cmake --build build --target blitview bmp2png >/dev/null

mkdir -p out
cp examples/sample.drw out/sample.drw
if ! build/blitview -f out/sample.drw; then
    echo "demo: blitview -f failed" >&2
    exit 1
fi
# These BMPs store the top row first; the PNG is written upright.
build/bmp2png out/sample.drw out/sample.png
echo "converted: $repo/out/sample.drw (now a BMP, $(stat -c %s out/sample.drw) bytes)"
echo "to look at: $repo/out/sample.png"
