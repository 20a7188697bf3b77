#!/usr/bin/env bash
# Uploads every corpus BMP with our SetDIBits and with the real one (the
# Windows build of the same probe, under Wine) and requires the same result
# for every file: the same refusal, or the same rows set and the same pixels.
#
#   upload_compare.sh BINARY_DIR LINUX_PROBE
#
# The Windows probe is built into BINARY_DIR/windows and the Wine prefix in
# BINARY_DIR/wine is shared with the other Wine tests (scripts/wine-env.sh).
# A missing compiler, Wine or Xvfb is a failure, not a skip.
set -euo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
binary_dir="$(realpath -- "$1")" linux_probe="$(realpath -- "$2")"
# shellcheck source=SCRIPTDIR/../../scripts/wine-env.sh
source "$source_dir/scripts/wine-env.sh"
wine_env_build "$binary_dir/windows" upload_probe
exe="$binary_dir/windows/upload_probe.exe"
out="$binary_dir/wine-upload"
mkdir -p "$out"

corpus="$source_dir/tests/data/bmpsuite"
cd "$corpus"
names=(*/*.bmp)
"$linux_probe" "$corpus" "${names[@]}" >"$out/linux.txt"

wine_env_start "$binary_dir/wine"
"$(wine_env_loader "$exe")" "$exe" "$(wine_env_winpath "$corpus")" "${names[@]}" </dev/null |
    tr -d '\r' >"$out/windows.txt"
wine_env_stop

failed=0
compared=0
while read -r name ours && read -r wname theirs <&3; do
    if [[ "$name" != "$wname" ]]; then
        echo "upload_compare: the outputs list different files ($name, $wname)" >&2
        exit 1
    fi
    if [[ "$ours" == "$theirs" ]]; then
        verdict=same
    else
        verdict=DIFFERENT
        failed=1
    fi
    compared=$((compared + 1))
    printf '%-28s %-40s %s\n' "$name" "$ours" "$verdict"
done <"$out/linux.txt" 3<"$out/windows.txt"
if ((compared != ${#names[@]})); then
    echo "upload_compare: compared $compared of ${#names[@]} files" >&2
    exit 1
fi
echo "$compared files compared"
exit $failed
