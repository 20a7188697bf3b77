#!/usr/bin/env bash
# "-f" on file systems that refuse the BMP: a full one (a 1 MiB tmpfs) and a
# read-only one. The run fails with -1 and leaves no partial file; on the full
# one the drawing is removed as after any failure, on the read-only one it
# cannot be and stays as it was.
#   disk_full_test.sh BLITVIEW      (needs root, to mount the tmpfs)
# Without root it skips, with exit status 77 (the test's SKIP_RETURN_CODE).
set -euo pipefail
blitview=$1
if [[ "$(id -u)" != 0 ]]; then
    echo "disk_full_test: skipped: mounting the tmpfs needs root"
    exit 77
fi
mount_point=$(mktemp -d)
cleanup() {
    umount "$mount_point" 2>/dev/null || true
    rmdir "$mount_point"
}
trap cleanup EXIT
mount -t tmpfs -o size=1m tmpfs "$mount_point"

passed=0 failed=0
check() {
    if "${@:2}"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}

# A header of 1024 x 768: its 3 MiB BMP cannot fit in 1 MiB.
printf '\x00\x04\x00\x03' >"$mount_point/full.drw"
status=0
"$blitview" -f "$mount_point/full.drw" || status=$?
check "a full disk gives 255" test "$status" = 255
check "and leaves nothing" test -z "$(ls -A "$mount_point")"

printf '\x00\x04\x00\x03' >"$mount_point/readonly.drw"
mount -o remount,ro "$mount_point"
status=0
"$blitview" -f "$mount_point/readonly.drw" || status=$?
check "a read-only file system gives 255" test "$status" = 255
check "and the drawing stays as it was" test "$(od -An -tx1 "$mount_point/readonly.drw" | tr -d ' ')" = 00040003
check "with nothing beside it" test "$(ls -A "$mount_point")" = readonly.drw

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
