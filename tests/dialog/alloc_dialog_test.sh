#!/usr/bin/env bash
# A real allocation failure in the BMP reader shows exactly one message box,
# and the load returns -1 only once the box has been dismissed.
#
#   alloc_dialog_test.sh ALLOC_CHILD DISMISS_DIALOG
#
# A sparse BMP of 1.5 GiB is loaded by a child whose address space is capped at
# 1 GiB, on a private Xvfb. The box is dismissed once with each key that
# acknowledges it. Xvfb missing is a failure, not a skip.
set -euo pipefail
child="$1" dismiss="$2"

# shellcheck source=SCRIPTDIR/../../scripts/xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"
work="$(mktemp -d)"
cleanup() {
    xvfb_stop
    rm -rf "$work"
}
trap cleanup EXIT
xvfb_start 800x600 "$work/xvfb.log"

# "BM", bfSize = the file's length (1.5 GiB), bfOffBits 54, a 40-byte header.
big="$work/big.bmp"
printf 'BM\x00\x00\x00\x60\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00' >"$big"
truncate -s 1610612736 "$big"

failed=0
for key in Return space Escape KP_Enter; do
    "$child" "$big" 1024 >"$work/child.out" 2>"$work/child.err" &
    child_pid=$!
    dismissed=0
    "$dismiss" Error "$key" "$child_pid" >"$work/dismiss.out" || dismissed=$?
    status=0
    wait "$child_pid" || status=$?
    echo "key $key: $(tr '\n' ' ' <"$work/dismiss.out")child: $(cat "$work/child.out") (exit $status)"
    # Exactly one box: a load refused before it asks for memory shows none.
    if [[ $dismissed != 0 || $status != 0 || "$(cat "$work/child.out")" != "result -1" ]] ||
        ! grep -qx 'dialogs 1' "$work/dismiss.out"; then
        cat "$work/child.err" >&2
        failed=1
    fi
done
exit $failed
