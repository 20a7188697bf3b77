#!/usr/bin/env bash
# The Windows release archives as a user gets them: scripts/package-windows.sh
# makes both, and each is checked from the zip, not from the build tree.
#   - what it holds; the exe's imports (system DLLs only) and its version
#     resource (the project version, ProductName, FileDescription);
#   - unpacked into a fresh, empty 64-bit Wine prefix: -f on the sample and
#     on the Wine comparison's drawings gives the Linux build's bytes, and
#     -b, -v and -d into a Wine window give its pixels (wine_compare.sh and
#     view_compare.sh with this exe);
#   - a second copy started while the first holds the mutex exits with -1
#     and touches nothing;
#   - a run killed while it writes leaves its temporary, which the next run
#     removes, while a user's files under that name stay.
# The 32-bit exe needs Wine's 32-bit side (wine32:i386): without it the
# checks under Wine are skipped, saying why, and the test exits 77 once the
# archive's checks have passed.
#
#   release_test.sh win64|win32 SOURCE_DIR BINARY_DIR LINUX_BLITVIEW MAKE_TEST_DRAWINGS VIEW_CAPTURE VIEW_INPUTS
set -euo pipefail

if (($# != 7)) || [[ "$1" != win64 && "$1" != win32 ]]; then
    echo "usage: $0 win64|win32 SOURCE_DIR BINARY_DIR LINUX_BLITVIEW MAKE_TEST_DRAWINGS VIEW_CAPTURE VIEW_INPUTS" >&2
    exit 2
fi
flavour=$1
shift
mapfile -t paths < <(realpath -m -- "$@")
source_dir="${paths[0]}" binary_dir="${paths[1]}" linux_exe="${paths[2]}" make_drawings="${paths[3]}"
view_capture="${paths[4]}" view_inputs="${paths[5]}"
# shellcheck source=SCRIPTDIR/../../scripts/wine-env.sh
source "$source_dir/scripts/wine-env.sh"

release="$binary_dir/release"
"$source_dir/scripts/package-windows.sh" "$release" >/dev/null
version=$(sed -n 's/^project(blitview VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")

wine_env_make_work release "${RELEASE_TEST_KEEP:-}"
work="$WINE_ENV_WORK"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir "$work/drawings"
"$make_drawings" "$work/drawings" >/dev/null
"$make_drawings" "$work/drawings" --random "${BLITVIEW_RANDOM_COUNT:-12}" "${BLITVIEW_RANDOM_SEED:-20250525}" >/dev/null
cp "$source_dir/examples/sample.drw" "$work/drawings/sample.drw"

# The zip's names, the exe's machine, imports and version resource.
check_archive() {
    local flavour=$1 zip=$2 unpacked=$3 machine=$4 triple=$5
    local name="blitview-$version-$flavour" problem="" listed
    listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
    [[ "$listed" == "$name/COPYRIGHT.txt $name/MANUAL.txt $name/README.txt $name/blitview.exe " ]] ||
        problem="holds $listed"
    wine_env_verdict "$flavour: the archive's files" "$problem"
    unzip -q -d "$unpacked" "$zip"
    local exe="$unpacked/$name/blitview.exe" dump imports other
    dump=$("$triple-objdump" -p "$exe")
    problem=""
    grep -q "^Magic.*($machine)" <<<"$dump" || problem="not a $machine executable"
    imports=$(sed -n 's/^\tDLL Name: //p' <<<"$dump" | sort -f | tr '\n' ' ')
    other=$(sed -n 's/^\tDLL Name: //p' <<<"$dump" |
        grep -viE '^(KERNEL32|USER32|GDI32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll$' || true)
    [[ -z "$other" && -n "$imports" ]] || problem+="${problem:+; }imports ${other:-nothing}"
    wine_env_verdict "$flavour: imports $imports" "$problem"
    local resource major minor patch
    IFS=. read -r major minor patch <<<"$version"
    resource=$("$triple-windres" -i "$exe" -O rc 2>&1 || true)
    problem=""
    grep -q "FILEVERSION $major, $minor, $patch, 0" <<<"$resource" || problem="no FILEVERSION $version"
    grep -q "PRODUCTVERSION $major, $minor, $patch, 0" <<<"$resource" || problem+=" no PRODUCTVERSION"
    grep -q "VALUE \"FileVersion\", \"$version\"" <<<"$resource" || problem+=" no FileVersion string"
    grep -q "VALUE \"ProductVersion\", \"$version\"" <<<"$resource" || problem+=" no ProductVersion string"
    grep -q 'VALUE "ProductName", "blitview"' <<<"$resource" || problem+=" no ProductName"
    grep -q 'VALUE "FileDescription", "..*"' <<<"$resource" || problem+=" no FileDescription"
    wine_env_verdict "$flavour: version resource $version" "$problem"
    problem=""
    grep -q $'\r$' "$unpacked/$name/README.txt" || problem="README.txt without Windows line ends"
    grep -q 'MORVIEW' "$unpacked/$name/README.txt" || problem+=" README.txt does not name the mutex"
    cmp -s <(tr -d '\r' <"$unpacked/$name/COPYRIGHT.txt") "$source_dir/packaging/copyright" ||
        problem+=" COPYRIGHT.txt is not packaging/copyright"
    grep -q 'blitview -f path' "$unpacked/$name/MANUAL.txt" || problem+=" MANUAL.txt is not the manual page"
    wine_env_verdict "$flavour: the text files" "$problem"
}

# Starts `blitview.exe -f` on a copy of the sample at PATH and waits until
# its temporary is beside PATH; the Unix process id in RUN_PID, empty when
# the run ended first.
start_until_temporary() {
    local exe=$1 path=$2 loader temporaries
    loader=$(wine_env_loader "$exe")
    shopt -s nullglob
    "$loader" "$exe" -f "$(wine_env_winpath "$path")" </dev/null >/dev/null 2>&1 &
    RUN_PID=$!
    while kill -0 "$RUN_PID" 2>/dev/null; do
        temporaries=("$(dirname "$path")"/~blitview-*.tmp)
        ((${#temporaries[@]})) && return 0
    done
    wait "$RUN_PID" 2>/dev/null || true
    RUN_PID=""
}

# Every name in a folder with its size, mode and contents' digest.
snapshot() {
    (cd "$1" && find . -mindepth 1 -printf '%p %s %m %i\n' | sort && find . -type f -exec md5sum {} + | sort)
}

# The mutex and the leftovers, under Wine with the prefix running.
check_instance_and_leftovers() {
    local flavour=$1 exe=$2 folder="$work/$1-jobs" problem status attempt loader
    loader=$(wine_env_loader "$exe")
    mkdir -p "$folder"
    # A first copy caught with its temporary beside PATH holds the mutex
    # while it is stopped there; a run that ended first is tried again.
    problem="the first copy never held its temporary long enough"
    for ((attempt = 0; attempt < 20; attempt++)); do
        rm -f "$folder"/*
        cp "$source_dir/examples/sample.drw" "$folder/first.drw"
        start_until_temporary "$exe" "$folder/first.drw"
        [[ -n "$RUN_PID" ]] || continue
        kill -STOP "$RUN_PID"
        shopt -s nullglob
        local held=("$folder"/~blitview-*.tmp)
        if ((${#held[@]} == 0)); then
            kill -CONT "$RUN_PID"
            wait "$RUN_PID" 2>/dev/null || true
            continue
        fi
        cp "$source_dir/examples/sample.drw" "$folder/second.drw"
        local before after
        before=$(snapshot "$folder")
        status=0
        "$loader" "$exe" -f "$(wine_env_winpath "$folder/second.drw")" </dev/null >/dev/null 2>&1 || status=$?
        after=$(snapshot "$folder")
        kill -CONT "$RUN_PID"
        local first_status=0
        wait "$RUN_PID" 2>/dev/null || first_status=$?
        problem=""
        ((status == 255)) || problem="the second copy exited with $status, not -1"
        [[ "$before" == "$after" ]] || problem+="${problem:+; }the second copy changed the folder"
        ((first_status == 0)) || problem+="${problem:+; }the first copy exited with $first_status"
        [[ "$(head -c 2 "$folder/first.drw")" == BM ]] || problem+="${problem:+; }the first copy left no BMP"
        break
    done
    wine_env_verdict "$flavour: a second copy while the first holds MORVIEW" "$problem"

    # A run killed while its temporary is beside PATH.
    local leftover=""
    for ((attempt = 0; attempt < 20; attempt++)); do
        [[ -z "$leftover" ]] || break
        rm -f "$folder"/*
        cp "$source_dir/examples/sample.drw" "$folder/killed.drw"
        start_until_temporary "$exe" "$folder/killed.drw"
        [[ -n "$RUN_PID" ]] || continue
        kill -KILL "$RUN_PID"
        wait "$RUN_PID" 2>/dev/null || true
        shopt -s nullglob
        local left=("$folder"/~blitview-*.tmp)
        ((${#left[@]})) && leftover=$(basename "${left[0]}")
    done
    problem=""
    if [[ -z "$leftover" ]]; then
        problem="no kill left a temporary"
    else
        # The wineserver lets go of a killed process's handles a moment
        # after it is gone, and a file still open is no leftover to remove:
        # a few runs over two seconds, each of which must succeed.
        for ((attempt = 0; attempt < 10; attempt++)); do
            cp "$source_dir/examples/sample.drw" "$folder/next.drw"
            status=0
            "$loader" "$exe" -f "$(wine_env_winpath "$folder/next.drw")" </dev/null >/dev/null 2>&1 || status=$?
            if ((status != 0)); then
                problem="the next run exited with $status"
                break
            fi
            [[ -e "$folder/$leftover" ]] || break
            sleep 0.2
        done
        [[ -n "$problem" || ! -e "$folder/$leftover" ]] || problem="the next runs left $leftover"
    fi
    wine_env_verdict "$flavour: a killed run's $leftover removed by the next run" "$problem"

    # Files of the user's under that name: text, read-only text, and the
    # start of a BMP that is not read-only. Each stays as it was, and the
    # run takes another name.
    local kind
    for kind in text read-only-text bmp-start; do
        [[ -n "$leftover" ]] || break
        rm -f "$folder"/*
        case $kind in
            text) echo "a note of the user's" >"$folder/$leftover" ;;
            read-only-text) echo "a note of the user's" >"$folder/$leftover"; chmod 444 "$folder/$leftover" ;;
            bmp-start) head -c 4096 "$folder/../$flavour-sample.bmp" >"$folder/$leftover" ;;
        esac
        local kept
        kept=$(md5sum <"$folder/$leftover")
        cp "$source_dir/examples/sample.drw" "$folder/job.drw"
        status=0
        "$loader" "$exe" -f "$(wine_env_winpath "$folder/job.drw")" </dev/null >/dev/null 2>&1 || status=$?
        problem=""
        ((status == 0)) || problem="the run exited with $status"
        [[ -e "$folder/$leftover" && "$(md5sum <"$folder/$leftover")" == "$kept" ]] ||
            problem+="${problem:+; }the user's file was touched"
        local names
        names=$(cd "$folder" && ls -A | sort | tr '\n' ' ')
        [[ "$names" == "job.drw $leftover " ]] || problem+="${problem:+; }left: $names"
        wine_env_verdict "$flavour: a user's $kind file named $leftover stays" "$problem"
    done
}

wine32_missing=""
dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" ||
    wine32_missing="Wine's 32-bit side (wine32:i386) is not installed"

if [[ "$flavour" == win64 ]]; then machine=PE32+ triple=x86_64-w64-mingw32; else machine=PE32 triple=i686-w64-mingw32; fi
zip="$release/blitview-$version-$flavour.zip"
unpacked="$work/$flavour-unpacked"
check_archive "$flavour" "$zip" "$unpacked" "$machine" "$triple"
if [[ "$flavour" == win32 && -n "$wine32_missing" ]]; then
    wine_env_tally
    ((WINE_ENV_FAILED == 0)) || exit 1
    echo "$flavour: the checks under Wine SKIPPED: $wine32_missing"
    exit 77
fi

# A fresh, empty prefix, and the archive unpacked into its drive C:.
wine_dir="$work/$flavour-wine"
wine_env_start "$wine_dir"
mkdir -p "$WINEPREFIX/drive_c/blitview"
unzip -q -j -d "$WINEPREFIX/drive_c/blitview" "$zip"
exe="$WINEPREFIX/drive_c/blitview/blitview.exe"
loader=$(wine_env_loader "$exe")
# The BMP a user's file starts with in one check below.
cp "$source_dir/examples/sample.drw" "$work/$flavour-sample.bmp"
"$loader" "$exe" -f "$(wine_env_winpath "$work/$flavour-sample.bmp")" </dev/null >/dev/null 2>&1 || true
check_instance_and_leftovers "$flavour" "$exe"
wine_env_stop

problem=""
BLITVIEW_WINDOWS_EXE="$exe" BLITVIEW_WINE_DIR="$wine_dir" \
    "$source_dir/tests/wine/wine_compare.sh" "$binary_dir" "$linux_exe" "$work/drawings" \
    >"$work/$flavour-compare.log" 2>&1 || problem="$(grep -v ': same' "$work/$flavour-compare.log" | tail -n 5 | tr '\n' ' ')"
wine_env_verdict "$flavour: -f on $(ls "$work/drawings" | wc -l) drawings gives the Linux build's bytes ($(tail -n 1 "$work/$flavour-compare.log"))" "$problem"
problem=""
BLITVIEW_WINDOWS_EXE="$exe" BLITVIEW_WINE_DIR="$wine_dir" BLITVIEW_VIEW_RANDOM="${BLITVIEW_VIEW_RANDOM:-6}" \
    "$source_dir/tests/wine/view_compare.sh" "$binary_dir" "$linux_exe" "$view_capture" "$view_inputs" \
    >"$work/$flavour-view.log" 2>&1 || problem="$(grep -v ': same' "$work/$flavour-view.log" | tail -n 5 | tr '\n' ' ')"
wine_env_verdict "$flavour: -b, -v and -d give the Linux build's pixels ($(tail -n 1 "$work/$flavour-view.log"))" "$problem"
wine_env_tally
((WINE_ENV_FAILED == 0))
