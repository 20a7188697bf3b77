#!/usr/bin/env bash
# Converts every drawing with both builds, the Linux one and the Windows one
# under Wine (real GDI), and requires the same outcome byte for byte: the same
# exit status, and either identical BMP files or no file from either; each
# BMP a new file put in place, and nothing left beside the paths.
#
#   wine_compare.sh BINARY_DIR LINUX_BLITVIEW DRAWINGS_DIR [DRAWINGS_DIR...]
#
# The Windows build is made in BINARY_DIR/windows and the Wine prefix kept in
# BINARY_DIR/wine (scripts/wine-env.sh). Prints one line per drawing and ends
# with "N passed, M failed"; the exit status is non-zero when any drawing
# failed, when there was none, or when the Windows build or Wine could not be
# set up.
#
# No other blitview of the same user may run meanwhile: the program is single
# instance, and a refused Linux run would show up here as a difference.
#
# Environment:
#   BLITVIEW_WINE_DISPLAY  an X display to use instead of a private Xvfb.
#   BLITVIEW_WINDOWS_EXE   a blitview.exe to run instead of building one.
#   BLITVIEW_WINE_DIR      where the Wine prefix is kept instead of BINARY_DIR/wine.
#   WINE_COMPARE_KEEP=1    keep the work directory with both builds' results.
set -euo pipefail

if (($# < 3)); then
    echo "usage: $0 BINARY_DIR LINUX_BLITVIEW DRAWINGS_DIR [DRAWINGS_DIR...]" >&2
    exit 2
fi
binary_dir="$(realpath -- "$1")"
linux_exe="$(realpath -- "$2")"
shift 2
drawing_dirs=("$@")

script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=SCRIPTDIR/../../scripts/wine-env.sh
source "$script_dir/../../scripts/wine-env.sh"
wine_env_need_programs wine_compare "$linux_exe"
for dir in "${drawing_dirs[@]}"; do
    [[ -d "$dir" ]] || { echo "wine_compare: not a directory: $dir" >&2; exit 2; }
done
if [[ -n "${BLITVIEW_WINDOWS_EXE:-}" ]]; then
    windows_exe="$BLITVIEW_WINDOWS_EXE"
else
    wine_env_build "$binary_dir/windows" blitview
    windows_exe="$binary_dir/windows/blitview.exe"
fi
wine_env_make_work wine "${WINE_COMPARE_KEEP:-}"
work="$WINE_ENV_WORK"
mkdir "$work/linux" "$work/windows"

# The drawings are copied under numbered names: the original names may hold
# characters that cannot travel in the program's one-word command line.
names=()
sources=()
for dir in "${drawing_dirs[@]}"; do
    while IFS= read -r -d '' file; do
        n=${#names[@]}
        names+=("$(basename "$file")")
        sources+=("$file")
        cp -- "$file" "$work/linux/$n.drw"
        cp -- "$file" "$work/windows/$n.drw"
    done < <(find "$dir" -maxdepth 1 -type f -name '*.drw' -print0 | sort -z)
done
count=${#names[@]}
if ((count == 0)); then
    echo "wine_compare: no *.drw files in ${drawing_dirs[*]}" >&2
    echo "0 passed, 0 failed"
    exit 1
fi

# The drawings' inodes: a BMP written beside its path and put in place is a
# new file, never the drawing cut short and rewritten, which a kill would
# leave partial.
inodes_before=$(cd "$work" && stat -c '%n %i' linux/*.drw windows/*.drw)

# A conversion that hangs is a failure, not a stuck test run.
run_timeout=60

linux_status=()
for ((n = 0; n < count; n++)); do
    status=0
    timeout "$run_timeout" "$linux_exe" -f "$work/linux/$n.drw" </dev/null >/dev/null 2>&1 || status=$?
    linux_status+=("$status")
done

if ! wine_env_start "${BLITVIEW_WINE_DIR:-$binary_dir/wine}"; then
    echo "wine_compare: cannot run the Windows build without Wine" >&2
    echo "0 passed, $count failed"
    exit 1
fi

# One persistent wineserver serves every run; the runs are sequential because
# the program allows one instance at a time. The path is given drive-qualified
# (Z:\...), which fopen, CreateFileA and DeleteFileA all read the same way. A
# Windows exit code of -1 reaches us as 255, like the Linux build's.
#
# The program ends with 0 or -1, and timeout with 124; a crash waits for its
# dialog until then. Any other status is none of the program's but Wine's,
# as when the process could not start or reach the wineserver. Where such a
# run left its drawing as it was given, it is made once more, and the
# drawing's verdict says so.
windows_loader=$(wine_env_loader "$windows_exe")
windows_status=()
windows_notes=()
for ((n = 0; n < count; n++)); do
    file="$work/windows/$n.drw"
    note=""
    for try in first second; do
        status=0
        timeout "$run_timeout" "$windows_loader" "$windows_exe" -f "$(wine_env_winpath "$file")" \
            </dev/null >/dev/null 2>"$work/wine.log" || status=$?
        case $status in 0 | 124 | 255) break ;; esac
        note="Wine exited with $status: \"$(head -c 200 "$work/wine.log" | tr '\n\r' '  ')\""
        [[ "$try" == first ]] && cmp -s -- "${sources[n]}" "$file" || break
        note="run again; the first time $note"
    done
    rm -f "$work/wine.log"
    windows_status+=("$status")
    windows_notes+=("$note")
done
wine_env_stop

# Up to 16 bytes of a file from an offset, in hex; nothing past its end.
hex_bytes() {
    local size
    size=$(stat -c %s -- "$1")
    if (($2 < size)); then od -An -tx1 -j "$2" -N 16 -- "$1" | xargs; fi
}

# Describes where two files first differ: byte offset, the bytes there, and
# for the pixel data of an uncompressed BMP the pixel's column and row.
describe_difference() {
    local linux_file=$1 windows_file=$2 linux_size windows_size first offset
    linux_size=$(stat -c %s "$linux_file")
    windows_size=$(stat -c %s "$windows_file")
    first=$(LC_ALL=C cmp -- "$linux_file" "$windows_file" 2>/dev/null | sed -n 's/.* differ: [a-z]* \([0-9]*\),.*/\1/p' || true)
    if [[ -z "$first" ]]; then
        # One is a prefix of the other.
        first=$(( (linux_size < windows_size ? linux_size : windows_size) + 1 ))
    fi
    offset=$((first - 1))
    local from=$((offset & ~15))
    local text
    text="sizes $linux_size/$windows_size, first difference at byte 0x$(printf %x "$offset")"
    text+="; at 0x$(printf %x "$from") linux [$(hex_bytes "$linux_file" "$from")]"
    text+=" windows [$(hex_bytes "$windows_file" "$from")]"
    local header=()
    if ((linux_size >= 30)); then
        # bfOffBits, biWidth, biHeight and biBitCount of the Linux file.
        read -r -a header <<<"$(od -An -tu4 -j 10 -N 4 -- "$linux_file") $(od -An -td4 -j 18 -N 8 -- "$linux_file") $(od -An -tu2 -j 28 -N 2 -- "$linux_file")"
    fi
    if ((${#header[@]} == 4)); then
        local pixels=${header[0]} width=${header[1]} height=${header[2]} bits=${header[3]}
        if ((width > 0 && bits >= 8 && offset >= pixels)); then
            # Rows are padded to whole 4-byte words.
            # shellcheck disable=SC2017
            local stride=$(( (width * bits + 31) / 32 * 4 ))
            local row=$(( (offset - pixels) / stride ))
            local column=$(( (offset - pixels) % stride / (bits / 8) ))
            # Rows are stored bottom-up unless the height is negative.
            if ((height > 0)); then row=$((height - 1 - row)); fi
            text+="; pixel x=$column y=$row of ${width}x${height#-}x$bits"
        fi
    fi
    echo "$text"
}

for ((n = 0; n < count; n++)); do
    name=${names[n]}
    linux_file="$work/linux/$n.drw"
    windows_file="$work/windows/$n.drw"
    ls=${linux_status[n]}
    ws=${windows_status[n]}
    problem=""
    if [[ "$ls" != "$ws" ]]; then
        problem="exit status linux $ls, windows $ws${windows_notes[n]:+ (${windows_notes[n]})}"
    elif [[ -e "$linux_file" && -e "$windows_file" ]]; then
        cmp -s -- "$linux_file" "$windows_file" ||
            problem=$(describe_difference "$linux_file" "$windows_file")
    elif [[ -e "$linux_file" ]]; then
        problem="only linux left a file"
    elif [[ -e "$windows_file" ]]; then
        problem="only windows left a file"
    fi
    wine_env_verdict "$name" "$problem" "${windows_notes[n]}"
done

while read -r name inode; do
    if [[ -e "$work/$name" && "$(stat -c %i "$work/$name")" == "$inode" ]]; then
        echo "$name: WRITTEN IN PLACE, not replaced"
        WINE_ENV_FAILED=$((WINE_ENV_FAILED + 1))
    fi
done <<<"$inodes_before"

# After success and failure alike, neither build leaves anything beside the
# paths it was given.
for side in linux windows; do
    left=$(find "$work/$side" -mindepth 1 ! -regex '.*/[0-9]+\.drw' -printf '%f ')
    if [[ -n "$left" ]]; then
        echo "$side: LEFT BESIDE THE PATHS: $left"
        WINE_ENV_FAILED=$((WINE_ENV_FAILED + 1))
    fi
done

wine_env_tally
((WINE_ENV_FAILED == 0))
