#!/usr/bin/env bash
# The Debian package as a user gets it: made with cpack from this build,
# checked for its dependencies and files, unpacked into a scratch root, and
# the unpacked program run on the bundled sample. lintian, where installed,
# must find no error in it, and hardening-check must pass on the built and
# the packaged programs; without hardening-check the run ends with 77 (a
# skip) once everything else has passed.
#   package_test.sh SOURCE_DIR BUILD_DIR CPACK BLITVIEW CXX fortified|unfortified
# CXX is the build's compiler; "unfortified" is a build without
# _FORTIFY_SOURCE (unoptimised, or with the sanitizers).
set -euo pipefail
source_dir=$1 build_dir=$2 cpack=$3 blitview=$4 cxx=$5 fortified=$6

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "package_test: $*" >&2
    exit 1
}

"$cpack" --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$work/cpack.log")"
packages=("$work"/out/*.deb)
((${#packages[@]} == 1)) || fail "cpack made ${#packages[@]} packages"
deb=${packages[0]}

depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libx11-6* && $depends == *libc6* ]] || fail "Depends lacks libx11-6 or libc6: $depends"
for field in Maintainer Section Description; do
    [[ -n $(dpkg-deb -f "$deb" "$field") ]] || fail "the package has no $field"
done

dpkg -x "$deb" "$work/root"
doc=usr/share/doc/blitview
for file in usr/bin/blitview usr/bin/blitview-inspect usr/share/man/man1/blitview.1.gz \
    usr/share/man/man1/blitview-inspect.1.gz $doc/README.md $doc/docs/hosting.md $doc/docs/linux.md \
    $doc/copyright $doc/changelog.gz; do
    [[ -f $work/root/$file ]] || fail "the package lacks /$file"
done

# The packaged program is stripped, and must still convert exactly as the
# one it was made from.
mkdir "$work/packaged" "$work/built"
cp "$source_dir/examples/sample.drw" "$work/packaged/sample.drw"
cp "$source_dir/examples/sample.drw" "$work/built/sample.drw"
env -u DISPLAY "$work/root/usr/bin/blitview" -f "$work/packaged/sample.drw" ||
    fail "the packaged blitview -f failed on the sample"
[[ $(file -b "$work/packaged/sample.drw") == "PC bitmap"* ]] ||
    fail "the sample did not become a BMP: $(file -b "$work/packaged/sample.drw")"
"$blitview" -f "$work/built/sample.drw"
cmp -s "$work/packaged/sample.drw" "$work/built/sample.drw" ||
    fail "the packaged blitview wrote another BMP than the built one"

# The packaged inspector on the same sample: the drawing converts, and the
# BMP it became shows, written out as a PNG.
inspect="$work/root/usr/bin/blitview-inspect"
env -u DISPLAY "$inspect" "$source_dir/examples/sample.drw" >"$work/inspect.txt" ||
    fail "the packaged blitview-inspect says the sample fails: $(cat "$work/inspect.txt")"
env -u DISPLAY "$inspect" --png "$work/sample.png" "$work/packaged/sample.drw" >/dev/null ||
    fail "the packaged blitview-inspect could not write the BMP's picture"
[[ $(file -b "$work/sample.png") == "PNG image data"* ]] || fail "no PNG from the packaged inspector"

for page in blitview blitview-inspect; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$work/root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "the manual page $page(1) renders with warnings: $warnings"
done

if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || fail "lintian: $(cat "$work/lintian.log")"
    cat "$work/lintian.log"
else
    echo "lintian is not installed: the package was not linted"
fi

# The compile options that hardening-check cannot see: no function of ours
# has a stack frame large enough to need the probing loop it looks for. They
# are read from the debug information of every unit compiled in this build
# folder (a sanitizer's runtime brings units of its own).
compiled_here=$(realpath -- "$build_dir")
for program in "$blitview" "$build_dir/blitview-inspect"; do
    producers=$(readelf --debug-dump=info "$program" 2>/dev/null | awk -v dir="$compiled_here" '
        /DW_AT_producer/ { sub(/.*\): /, ""); producer = $0 }
        /DW_AT_comp_dir/ { sub(/.*\): /, ""); if ($0 == dir) print producer }')
    [[ -n $producers ]] || fail "$program has no debug information to read its compile options from"
    for option in -fstack-protector-strong -fstack-clash-protection -fcf-protection; do
        missing=$(grep -v -c -- " $option" <<<"$producers" || true)
        ((missing == 0)) || fail "$missing units of $program were compiled without $option"
    done
done

command -v hardening-check >/dev/null ||
    { echo "package_test: SKIP: no hardening-check (scripts/setup.sh --test installs devscripts)"; exit 77; }
options=()
[[ $fortified == fortified ]] || options+=(--nofortify)
# The linker marks a program for control-flow protection only when every
# object in it is marked, the C library's start files (crti.o) included;
# where those are not (Debian 12), no program linked here can be.
if ! readelf -n "$("$cxx" -print-file-name=crti.o)" 2>/dev/null | grep -q 'x86 feature: IBT, SHSTK'; then
    echo "package_test: control-flow protection not checked: the C library's start files are not marked for it"
    options+=(--nocfprotection)
fi
for program in "$blitview" "$build_dir/blitview-inspect" "$work/root/usr/bin/blitview" "$inspect"; do
    hardening-check "${options[@]}" "$program" >"$work/hardening.log" 2>&1 ||
        fail "hardening-check: $(cat "$work/hardening.log")"
    cat "$work/hardening.log"
done
