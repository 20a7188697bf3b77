#!/usr/bin/env bash
# A tree built without a windowing system: it configures without X11, builds
# blitview and blitview-inspect linked to no X library, converts the sample
# drawing as the default build does, fails the window modes with -1,
# inspects the BMP it wrote and says on standard error that memory ran out.
# The tree is kept in BUILD_DIR/windowing-none, so later runs only build what
# changed.
#   windowing_none_test.sh CMAKE SOURCE_DIR BUILD_DIR GENERATOR
set -euo pipefail
cmake=$1 source_dir=$2 build_dir=$3 generator=$4
tree="$build_dir/windowing-none"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY

fail() {
    echo "windowing_none_test: $*" >&2
    exit 1
}

"$cmake" -S "$source_dir" -B "$tree" -G "$generator" -DBLITVIEW_WINDOWING=none -DBLITVIEW_TESTS=OFF \
    >"$work/configure.log" 2>&1 || fail "configure failed: $(cat "$work/configure.log")"
"$cmake" --build "$tree" -j 2 --target blitview blitview-inspect >"$work/build.log" 2>&1 ||
    fail "build failed: $(tail -40 "$work/build.log")"
for program in blitview blitview-inspect; do
    if ldd "$tree/$program" | grep -q libX11; then fail "$program links libX11"; fi
done

cp "$source_dir/examples/sample.drw" "$work/sample.drw"
"$tree/blitview" -f "$work/sample.drw" || fail "-f failed"
[[ $(head -c 2 "$work/sample.drw") == BM ]] || fail "-f left no BMP"
"$tree/blitview-inspect" "$work/sample.drw" >"$work/inspect.txt" || fail "the inspector refused the BMP"
status=0
"$tree/blitview" -b "$work/sample.drw" 0 0 100 100 || status=$?
((status == 255)) || fail "-b gave $status without windows, not -1"

# The allocation-failure message goes to standard error: a BMP of 1.5 GiB
# (sparse) under an address space of 1 GiB.
printf 'BM\x00\x00\x00\x60\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00' >"$work/big.bmp"
truncate -s 1610612736 "$work/big.bmp"
status=0
(ulimit -v $((1024 * 1024)) && exec "$tree/blitview" -b "$work/big.bmp" 0 0 100 100) 2>"$work/stderr" || status=$?
((status == 255)) || fail "-b of a file too large for memory gave $status, not -1"
[[ $(cat "$work/stderr") == "Error: Unable to allocate memory for image data." ]] ||
    fail "the allocation failure printed: $(cat "$work/stderr")"
