#!/usr/bin/env bash
# The program as a host sees it: exit statuses, files at the path, and the
# single-instance rule between live processes.
#   program_test.sh BLITVIEW MAKE_TEST_DRAWINGS
set -u
blitview=$1
make_drawings=$2
work=$(mktemp -d)
blockers=()
cleanup() {
    for pid in "${blockers[@]}"; do kill -9 "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
    fi
}
status_of() { "$blitview" "$@" >/dev/null 2>&1; echo $?; }

# A drawing of 1024 x 768 units that is only its header.
header_only() { printf '\x00\x04\x00\x03' > "$1"; }

# Waits until copy PID has claimed the instance mutex: the claim is the one
# lock it holds while it waits for its drawing.
wait_for_claim() {
    local i
    for i in $(seq 1 200); do
        awk -v pid="$1" '$2 == "FLOCK" && $5 == pid { found = 1 } END { exit !found }' /proc/locks && return 0
        sleep 0.02
    done
    return 1
}

# A first copy that holds the mutex while it waits on a FIFO for its drawing.
start_blocker() {
    rm -f "$work/fifo"
    mkfifo "$work/fifo"
    "$blitview" -f "$work/fifo" &
    blockers+=($!)
    wait_for_claim "$!"
}

check "no arguments give 255" test "$(status_of)" = 255
check "an unknown mode gives 255" test "$(status_of -x a)" = 255
check "the other case gives 255" test "$(status_of -F a)" = 255
check "three numbers give 255" test "$(status_of -b a 1 2 3)" = 255
check "-f without a path gives 255" test "$(status_of -f)" = 255

header_only "$work/a.drw"
check "a header-only drawing converts" test "$(status_of -f "$work/a.drw")" = 0
check "the BMP is complete" test "$(stat -c %s "$work/a.drw")" = $((54 + 1024 * 768 * 4))
check "nothing is left beside it" test "$(ls -A "$work" | wc -l)" = 1
check "a missing file gives 255" test "$(status_of -f "$work/missing.drw")" = 255
check "and stays missing" test ! -e "$work/missing.drw"

"$make_drawings" "$work" >/dev/null
check "a malformed drawing gives 255" test "$(status_of -f "$work/bad_tag.drw")" = 255
check "and is removed" test ! -e "$work/bad_tag.drw"

# The single instance: a second copy refuses and touches nothing.
header_only "$work/second.drw"
cp "$work/second.drw" "$work/second.orig"
if start_blocker; then
    check "a second copy gives 255" test "$(status_of -f "$work/second.drw")" = 255
    check "and leaves its file alone" cmp -s "$work/second.drw" "$work/second.orig"
    header_only "$work/fifo"
    wait "${blockers[-1]}"
    check "the first copy finishes its job" test $? = 0
    check "once it has ended another copy works" test "$(status_of -f "$work/second.drw")" = 0
else
    check "the first copy claims the mutex" false
fi

# A killed copy's claim ends with it.
if start_blocker; then
    kill -9 "${blockers[-1]}"
    wait "${blockers[-1]}" 2>/dev/null
    header_only "$work/after_kill.drw"
    check "a killed copy releases the mutex" test "$(status_of -f "$work/after_kill.drw")" = 0
else
    check "the first copy claims the mutex" false
fi

echo "$passed passed, $failed failed"
test "$failed" = 0
