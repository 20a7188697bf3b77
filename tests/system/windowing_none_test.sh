#!/usr/bin/env bash
# A tree built without a windowing system: it configures without X11, builds
# blitview and blitview-inspect linked to no X library, converts the sample
# drawing as the default build does, fails the window modes with -1 and
# inspects the BMP it wrote. The tree is kept in BUILD_DIR/windowing-none, so
# later runs only build what changed.
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
