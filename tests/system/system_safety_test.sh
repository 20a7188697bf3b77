#!/usr/bin/env bash
# "-f" and the window modes on an ordinary Linux system: arguments with
# blanks, the replaced file's permissions, owner, ACL and attributes, hard
# links, what may be removed, publishing without /proc, on a file system
# without unnamed files and in a directory nobody may write, a user's own
# files named like temporaries, the single-instance claim against another
# user and under a descriptor limit, a file-size limit, a directory link
# swapped during the run, and a lost X server. Parts that need root (mknod,
# a second uid, mounts) skip with their reason without it.
#   system_safety_test.sh BLITVIEW NO_TMPFILE_SHIM NO_ACL_SHIM [sanitized]
set -u
blitview=$(realpath -- "$1")
shim=$(realpath -- "$2")
acl_shim=$(realpath -- "$3")
sanitized=${4:-}
work=$(mktemp -d /tmp/safety.XXXXXX)
chmod 755 "$work"
cleanup_steps=()
cleanup() {
    local step
    for step in "${cleanup_steps[@]}"; do eval "$step" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
umask 022

passed=0 failed=0 skipped=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}
skip() { skipped=$((skipped + 1)); echo "skipped: $1"; }
as_root=0
[ "$(id -u)" = 0 ] && as_root=1
status_of() { "$@" >/dev/null 2>&1; echo $?; }
bmp_size=$((54 + 1024 * 768 * 4))
header_only() { printf '\x00\x04\x00\x03' >"$1"; }   # a drawing of 1024 x 768 units
malformed() { printf '\x00\x04\x00\x03\x01\x00' >"$1"; }  # an unknown tag
is_bmp() { [ "$(stat -c %s "$1" 2>/dev/null)" = "$bmp_size" ] && [ "$(head -c 2 "$1")" = BM ]; }
untouched_header() { [ "$(od -An -tx1 "$1" 2>/dev/null | tr -d ' \n')" = 00040003 ]; }  # header_only's bytes
alone_bmp() { [ "$(ls -A "$(dirname "$1")")" = "$(basename "$1")" ] && is_bmp "$1"; }  # nothing beside it
listing() { (cd "$1" && find . -mindepth 1 -printf '%p %y %m\n' -exec sh -c 'test -f "$1" && cksum <"$1"' _ {} \; | sort); }

# A private runtime directory of the user NAME, for runs under another uid.
runtime_of() {
    local dir
    dir=$(mktemp -d "$work/run-$1.XXXXXX")
    chown "$1" "$dir"
    echo "$dir"
}
other() {  # other COMMAND...: as nobody, with a runtime directory of its own
    setpriv --reuid=nobody --regid=nogroup --clear-groups env XDG_RUNTIME_DIR="$nobody_runtime" "$@"
}
if ((as_root)); then
    chmod 711 "$work"
    nobody_runtime=$(runtime_of nobody)
fi

# ---- Arguments that cannot travel as one word fail before anything is touched.
d="$work/args"
mkdir "$d"
header_only "$d/my"
header_only "$d/my file.drw"
header_only "$d/tab"
header_only "$d/other.drw"
header_only "$d/joined.drw"
before=$(listing "$d")
while IFS='|' read -r what a b c; do
    arguments=()
    for word in "$a" "$b" "$c"; do [ "$word" = - ] || arguments+=("$(printf '%b' "$word")"); done
    check "$what gives 255" test "$(status_of "$blitview" "${arguments[@]}")" = 255
    check "$what touches nothing" test "$(listing "$d")" = "$before"
done <<EOF
a path with a blank|-f|$d/my file.drw|-
a path with a tab|-f|$d/tab\tx.drw|-
an empty argument|-f||$d/other.drw
mode and path in one argument|-f $d/joined.drw|-|-
EOF

# ---- The BMP takes the replaced file's permission bits (and its owner as root).
d="$work/modes"
mkdir "$d"
for mode in 600 444 640 751 604 664; do
    header_only "$d/$mode.drw"
    chmod "$mode" "$d/$mode.drw"
    check "mode $mode converts" test "$(status_of "$blitview" -f "$d/$mode.drw")" = 0
    check "and stays $mode" test "$(stat -c %a "$d/$mode.drw")" = "$mode"
done
check "nothing is left beside them" test "$(ls -A "$d" | wc -l)" = 6
if ((as_root)); then
    header_only "$d/theirs.drw"
    chown nobody:nogroup "$d/theirs.drw"
    chmod 640 "$d/theirs.drw"
    check "another user's file converts" test "$(status_of "$blitview" -f "$d/theirs.drw")" = 0
    check "and keeps its owner, group and mode" test "$(stat -c '%U:%G %a' "$d/theirs.drw")" = "nobody:nogroup 640"
else
    skip "another user's file keeps its owner: needs root"
fi

# ---- The BMP takes the replaced file's access ACL exactly, an ACL its
# directory would give a new file included, and its user attributes.
d="$work/acl"
mkdir "$d" "$d/inherits"
acl_of() { getfacl --omit-header --numeric --absolute-names "$1" 2>/dev/null; }
nobody_reads() { if ((as_root)) && other test -r "$1"; then echo yes; else echo no; fi; }
if ! command -v setfacl >/dev/null || ! command -v setfattr >/dev/null; then
    skip "ACLs and attributes: setfacl or setfattr missing (scripts/setup.sh --test)"
elif ! setfacl -m u:nobody:--- "$d" 2>/dev/null || ! setfattr -n user.probe -v 1 "$d" 2>/dev/null; then
    skip "ACLs and attributes: the file system refuses ACLs or user attributes"
else
    setfacl -b "$d"
    setfacl -d -m u:nobody:rw- "$d/inherits"
    # A drawing of MODE with ACL: "-" as the directory gives it, "none"
    # stripped, else these entries added.
    acl_case() {
        header_only "$1"
        chmod "$2" "$1"
        case $3 in
            -) ;;
            none) setfacl -b "$1" ;;
            *) setfacl -m "$3" "$1" ;;
        esac
    }
    while IFS='|' read -r what place mode acl; do
        f="$d/$place/file.drw"
        acl_case "$f" "$mode" "$acl"
        setfattr -n user.note -v "$what" "$f"
        before=$(acl_of "$f")
        readable=$(nobody_reads "$f")
        check "$what: converts" test "$(status_of "$blitview" -f "$f")" = 0
        check "$what: into a BMP" is_bmp "$f"
        check "$what: with the old ACL" test "$(acl_of "$f")" = "$before"
        check "$what: nobody reads it as before" test "$(nobody_reads "$f")" = "$readable"
        check "$what: with its user attribute" test "$(getfattr --only-values -n user.note "$f" 2>/dev/null)" = "$what"
        rm -f "$f"
    done <<EOF
a named user|.|644|u:nobody:---
a named group with a mask|.|660|g::r--,g:nogroup:r--,m::rw-
a default ACL in the directory|inherits|640|none
no ACL|.|640|-
EOF
    # Where the ACL cannot be stored (a shim refuses it), a BMP that would
    # grant more than the old file fails the run; one that would not is kept.
    no_acl() { ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=$acl_shim "$blitview" "$@"; }
    while IFS='|' read -r what place mode acl expected; do
        f="$d/$place/file.drw"
        acl_case "$f" "$mode" "$acl"
        check "no ACL stored, $what: gives $expected" test "$(status_of no_acl -f "$f")" = "$expected"
        if [ "$expected" = 0 ]; then
            check "no ACL stored, $what: into a BMP with no ACL" test -z "$(acl_of "$f" | grep -v '^[a-z]*::')"
        else
            check "no ACL stored, $what: nothing is published" test ! -e "$f"
        fi
        check "no ACL stored, $what: nothing beside it" test -z "$(ls -A "$d/$place" | grep -v -e "^inherits$" -e "^file.drw$")"
        rm -f "$f"
    done <<EOF
a named user|.|644|u:nobody:---|255
a named group with a mask|.|660|g::r--,m::rw-|255
a default ACL in the directory|inherits|640|none|255
no ACL|.|640|-|0
EOF
fi

# ---- The rename replaces one name: other hard links keep the drawing.
d="$work/links"
mkdir "$d"
header_only "$d/drawing.drw"
ln "$d/drawing.drw" "$d/other.drw"
check "a drawing with two names converts" test "$(status_of "$blitview" -f "$d/drawing.drw")" = 0
check "into a BMP under the name given" is_bmp "$d/drawing.drw"
check "while its other name keeps the drawing" untouched_header "$d/other.drw"

# ---- Only regular files and links are removed when a run fails.
d="$work/kinds"
mkdir "$d"
malformed "$d/target.drw"
ln -s target.drw "$d/link"
mkdir "$d/directory"
mkfifo "$d/fifo"
perl -MIO::Socket::UNIX -e 'IO::Socket::UNIX->new(Local => $ARGV[0], Listen => 1) or die' "$d/socket"
((as_root)) && mknod "$d/device" c 1 3
while read -r name kind; do
    if [ "$name" = device ] && ((!as_root)); then skip "a device node stays: needs root (mknod)"; continue; fi
    if [ "$name" = fifo ]; then
        "$blitview" -f "$d/fifo" >/dev/null 2>&1 &
        malformed "$d/fifo"
        wait $!
        status=$?
    else
        status=$(status_of "$blitview" -f "$d/$name")
    fi
    check "a failed run on a $name gives 255" test "$status" = 255
    case $kind in
        gone) check "and removes the $name" test ! -e "$d/$name" -a ! -L "$d/$name" ;;
        *) check "and leaves the $name" test "-$kind" "$d/$name" ;;
    esac
done <<EOF
link gone
directory d
fifo p
socket S
device c
EOF
check "the link's target stays" test -f "$d/target.drw"

# ---- Publishing without /proc: the BMP arrives, the drawing is never lost first.
if [ -n "$sanitized" ]; then
    skip "publishing without /proc: the sanitizers' runtime needs /proc"
elif ((as_root)); then
    d="$work/noproc"
    mkdir "$d"
    header_only "$d/drawing.drw"
    status=$(unshare -m sh -c 'mount -t tmpfs none /proc && exec "$0" -f "$1"' "$blitview" "$d/drawing.drw" \
        >/dev/null 2>&1; echo $?)
    check "without /proc a conversion succeeds" test "$status" = 0
    check "and leaves the BMP alone at the path" alone_bmp "$d/drawing.drw"
else
    skip "publishing without /proc: needs root (unshare -m)"
fi

# ---- A file system without unnamed files (vfat, say), stood in for by a
# preloaded shim that refuses O_TMPFILE: the named temporary.
# A short directory leaves room for a name of nearly NAME_MAX characters.
d=$(mktemp -d /tmp/n.XXXX)
cleanup_steps+=("rm -rf '$d'")
named() { ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=$shim "$blitview" "$@"; }
# The longest name whose path the command line still carries (255).
long=$(printf 'n%.0s' $(seq 1 $((255 - ${#d} - 1 - 4)))).drw
for name in plain.drw "$long"; do
    header_only "$d/$name"
    check "named: ${#name} characters convert" test "$(status_of named -f "$d/$name")" = 0
    check "named: into a BMP" is_bmp "$d/$name"
done
check "named: nothing is left beside them" test "$(ls -A "$d" | wc -l)" = 2
# Killed while its temporary exists, a run leaves it; the next run in the
# directory removes it.
{
    printf '\xc0\x5d\x50\x46'
    printf '\xff\xff\x00\x00\x00\x00\x00\x00\xc0\x5d\x00\x10\x00\x10\x02\x00\x46\x07\xe2\x00'
    head -c $((4096 * 4096)) /dev/urandom
} >"$work/large.drw"
caught=0
for attempt in $(seq 1 12); do
    cp "$work/large.drw" "$d/large.drw"
    ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=$shim "$blitview" -f "$d/large.drw" &
    pid=$!
    while kill -0 "$pid" 2>/dev/null; do
        for hidden in "$d"/.[!.]*; do
            [ -e "$hidden" ] && { kill -9 "$pid"; caught=$((caught + 1)); usual=${hidden##*/}; break 2; }
        done
    done
    wait "$pid" 2>/dev/null
    header_only "$d/plain.drw"
    named -f "$d/plain.drw"
    check "named: kill $attempt leaves nothing after the next run" test -z "$(ls -A "$d" | grep '^\.')"
done
echo "named: $caught of 12 runs killed while their temporary existed"
check "named: some runs were killed while writing" test "$caught" -gt 0

# ---- Only what a run of ours left is removed: a file of the user's own under
# a name like a temporary's, even one of the names a killed run left (seen
# above), and even one that begins like a BMP of ours, stays, in both ways of
# writing.
d="$work/leftovers"
mkdir "$d"
header_only "$d/job.drw"
"$blitview" -f "$d/job.drw"
head -c 100 "$d/job.drw" >"$work/bmp-start"
if [ -n "${usual:-}" ]; then
    while IFS='|' read -r what name content; do
        for way in plain named; do
            case $content in
                text) echo "the user's own notes" >"$d/$name" ;;
                bmp) cp "$work/bmp-start" "$d/$name" ;;
            esac
            kept=$(cksum <"$d/$name")
            header_only "$d/job.drw"
            if [ "$way" = plain ]; then "$blitview" -f "$d/job.drw"; else named -f "$d/job.drw"; fi
            check "$way: $what converts beside it" is_bmp "$d/job.drw"
            check "$way: $what stays" test "$(cksum 2>/dev/null <"$d/$name")" = "$kept"
            rm -f "$d/$name"
        done
    done <<EOF
a text file named like a temporary|.blitview-abcdefgh|text
a text file under a name a killed run left|$usual|text
the start of a BMP under a name a killed run left|$usual|bmp
EOF
else
    skip "files named like temporaries: no run was caught with its temporary"
fi

# ---- A writable file where nothing can be created beside it: written in place.
if ((as_root)); then
    d="$work/locked"
    mkdir -m 755 "$d" "$d/root-owned"
    mkdir -m 1777 "$d/sticky"
    while read -r place owner; do
        header_only "$d/$place/drawing.drw"
        chown "$owner" "$d/$place/drawing.drw"
        chmod 666 "$d/$place/drawing.drw"
        check "$place: another user converts a writable file" \
            test "$(status_of other "$blitview" -f "$d/$place/drawing.drw")" = 0
        check "$place: into a BMP in place, with nothing beside it" alone_bmp "$d/$place/drawing.drw"
        check "$place: keeping its owner" test "$(stat -c %U "$d/$place/drawing.drw")" = "$owner"
    done <<EOF
root-owned root
sticky root
EOF
else
    skip "a file in a directory nobody may write: needs root (setpriv)"
fi

# ---- The single-instance claim: no other user can take it or get in its way.
if ((as_root)); then
    d="$work/claim"
    mkdir -m 777 "$d"
    root_runtime=$(mktemp -d "$work/run-root.XXXXXX")
    # The old place of the claim, an abstract socket named after the uid,
    # bound by another user.
    setpriv --reuid=nobody --regid=nogroup --clear-groups perl -MSocket -e 'socket(my $s, AF_UNIX, SOCK_STREAM, 0) or die;
        bind($s, pack("S", AF_UNIX) . "\0blitview-mutex-MORVIEW-0") or die; sleep 30' &
    squatter=$!
    cleanup_steps+=("kill $squatter")
    sleep 0.3
    mkfifo "$d/job.drw"
    chmod 600 "$d/job.drw"
    XDG_RUNTIME_DIR=$root_runtime "$blitview" -f "$d/job.drw" >/dev/null 2>&1 &
    job=$!
    cleanup_steps+=("kill -9 $job")
    claimed=0
    for _ in $(seq 1 200); do
        awk -v pid="$job" '$2 == "FLOCK" && $5 == pid { found = 1 } END { exit !found }' /proc/locks &&
            { claimed=1; break; }
        kill -0 "$job" 2>/dev/null || break
        sleep 0.02
    done
    check "root's job claims the instance with the old name squatted" test "$claimed" = 1
    lock=$root_runtime/blitview-MORVIEW.lock
    check "nobody cannot take root's claim" test "$(status_of other flock -n "$lock" true)" != 0
    header_only "$d/theirs.drw"
    chown nobody "$d/theirs.drw"
    check "nobody's own job runs beside root's" test "$(status_of other "$blitview" -f "$d/theirs.drw")" = 0
    header_only "$d/second.drw"
    check "a second copy of root is refused" \
        test "$(status_of env XDG_RUNTIME_DIR="$root_runtime" "$blitview" -f "$d/second.drw")" = 255
    # A job that is gone already no longer reads its FIFO.
    timeout 10 bash -c 'printf "\x00\x04\x00\x03" >"$0"' "$d/job.drw"
    wait "$job"
    check "root's job finishes" test $? = 0
    kill "$squatter" 2>/dev/null
    # Without a runtime directory the claim lives in /tmp/blitview-UID, which
    # another user may have made first: the run still goes on. The drawing is
    # named from the working directory, which the new /tmp does not hide.
    cd "$d"
    # The program itself may live under /tmp too: it is run through a
    # descriptor opened before the new /tmp hides it.
    exec 7<"$blitview"
    for squat in directory link; do
        header_only second.drw
        status=$(unshare -m sh -c '
            mount -t tmpfs -o mode=1777 none /tmp || exit 99
            mkdir /tmp/elsewhere && chown nobody /tmp/elsewhere
            if [ "$2" = directory ]; then
                setpriv --reuid=nobody --regid=nogroup --clear-groups mkdir -m 700 /tmp/blitview-0
            else
                setpriv --reuid=nobody --regid=nogroup --clear-groups ln -s /tmp/elsewhere /tmp/blitview-0
            fi
            env -u XDG_RUNTIME_DIR "$0" -f "$1"
            status=$?
            [ -z "$(ls -A /tmp/elsewhere)" ] || exit 98
            exit $status' /proc/self/fd/7 second.drw "$squat" >/dev/null 2>&1; echo $?)
        check "a squatted /tmp/blitview-0 ($squat) neither blocks nor is used" test "$status" = 0
    done
    exec 7<&-
    cd - >/dev/null
else
    skip "the claim against another user: needs root (setpriv)"
fi

# ---- A descriptor limit that leaves no room for the claim fails the run
# before anything is opened, created or removed; it never runs unclaimed.
# A limit of 4 leaves a descriptor for the claim's directory and none for its
# file (3 would leave the loader none).
limited() {  # limited LIMIT COMMAND...: with only 0, 1 and 2 open
    (
        for fd in $(ls /proc/$BASHPID/fd); do ((fd > 2)) && eval "exec $fd>&-"; done
        ulimit -n "$1" && exec "${@:2}"
    )
}
d="$work/descriptors"
mkdir "$d"
limit_runtime=$(mktemp -d "$work/run-limit.XXXXXX")
chmod 700 "$limit_runtime"
mkfifo "$d/first.drw"
XDG_RUNTIME_DIR=$limit_runtime "$blitview" -f "$d/first.drw" >/dev/null 2>&1 &
first=$!
cleanup_steps+=("kill -9 $first")
exec 5>"$d/first.drw"
for alive in "with a first copy alive" alone; do
    header_only "$d/job.drw"
    status=$(XDG_RUNTIME_DIR=$limit_runtime status_of limited 4 "$blitview" -f "$d/job.drw")
    check "ulimit -n 4, $alive: the run gives 255" test "$status" = 255
    check "ulimit -n 4, $alive: and leaves the drawing as it was" untouched_header "$d/job.drw"
    if [ "$alive" != alone ]; then
        printf '\x00\x04\x00\x03' >&5
        exec 5>&-
        wait "$first"
        check "the first copy finishes" test $? = 0
    fi
done

# ---- A file-size limit below the BMP's size fails the run as a failed
# write: nothing partial at the path, in place or beside it.
d="$work/sizelimit"
mkdir -m 755 "$d" "$d/root-owned"
header_only "$d/drawing.drw"
status=$(status_of sh -c 'ulimit -f 1024 && exec "$0" -f "$1"' "$blitview" "$d/drawing.drw")
check "ulimit -f 1024: the run gives 255" test "$status" = 255
check "ulimit -f 1024: and leaves nothing in the directory" test -z "$(ls -A "$d" | grep -v root-owned)"
if ((as_root)); then
    header_only "$d/root-owned/drawing.drw"
    chmod 666 "$d/root-owned/drawing.drw"
    status=$(status_of other sh -c 'ulimit -f 1024 && exec "$0" -f "$1"' "$blitview" "$d/root-owned/drawing.drw")
    check "ulimit -f 1024 in place: the run gives 255" test "$status" = 255
    check "ulimit -f 1024 in place: and leaves the drawing as it was" untouched_header "$d/root-owned/drawing.drw"
else
    skip "a file-size limit on a file written in place: needs root (setpriv)"
fi

# ---- The path's directory is found once: another user who feeds the drawing
# slowly through a FIFO and points a directory link on the path elsewhere
# before the end of the file changes nothing, after a success or a failure.
if ((as_root)); then
    d="$work/swap"
    mkdir -m 755 "$d" "$d/victim"
    printf 'root%s own file\n' "'s" >"$d/victim/name.drw"
    victim_before=$(stat -c '%i %s' "$d/victim/name.drw")$(cksum <"$d/victim/name.drw")
    while read -r outcome rest; do
        rm -rf "$d/att"
        mkdir -m 755 "$d/att"
        chown nobody "$d/att"
        other mkdir "$d/att/real"
        other ln -s real "$d/att/link"
        other mkfifo -m 644 "$d/att/real/name.drw"
        "$blitview" -f "$d/att/link/name.drw" >/dev/null 2>&1 &
        job=$!
        other sh -c 'exec 3>"$0/real/name.drw"; printf "\000\004\000\003" >&3; sleep 0.3
            ln -s ../victim "$0/link.new" && mv -T "$0/link.new" "$0/link"; sleep 0.3; printf "$1" >&3' \
            "$d/att" "$rest"
        wait "$job"
        status=$?
        check "swapped link, $outcome: the victim is untouched" \
            test "$(stat -c '%i %s' "$d/victim/name.drw")$(cksum <"$d/victim/name.drw")" = "$victim_before"
        check "swapped link, $outcome: the link was swapped" test "$(readlink "$d/att/link")" = ../victim
        if [ "$outcome" = success ]; then
            check "swapped link, success: the run gives 0" test "$status" = 0
            check "swapped link, success: the BMP is where the drawing was read" is_bmp "$d/att/real/name.drw"
        else
            check "swapped link, $outcome: the run gives 255" test "$status" = 255
            check "swapped link, $outcome: the FIFO stays" test -p "$d/att/real/name.drw"
        fi
        check "swapped link, $outcome: nothing is left beside the victim" test "$(ls -A "$d/victim")" = name.drw
    done <<EOF
success
failure \\001\\000
EOF
else
    skip "a directory link swapped during the run: needs root (a second uid)"
fi

# ---- A lost X server ends the run with 255 and prints nothing.
if command -v Xvfb >/dev/null && command -v xwininfo >/dev/null; then
    # shellcheck source=SCRIPTDIR/../../scripts/xvfb.sh
    source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"
    cleanup_steps+=(xvfb_stop)
    d="$work/x11"
    mkdir "$d"
    # "BM", bfSize = the file's length (1.5 GiB), bfOffBits 54, a 40-byte header.
    printf 'BM\x00\x00\x00\x60\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00' >"$d/big.bmp"
    truncate -s 1610612736 "$d/big.bmp"
    for mode in vectors dialog; do
        if [ "$mode" = dialog ] && [ -n "$sanitized" ]; then
            skip "the dialog with a lost server: the sanitizers rule out a capped address space"
            continue
        fi
        if ! xvfb_start 640x480 /dev/null; then
            check "$mode: a private X server starts" false
            continue
        fi
        rm -f "$d/plan.VCT"
        if [ "$mode" = vectors ]; then
            # The overlay waits on a FIFO for its polylines while the server goes.
            mkfifo "$d/plan.VCT"
            "$blitview" -v "$d/plan.bmp" 10 10 110 110 >"$d/out" 2>&1 &
            pid=$!
            exec 4<>"$d/plan.VCT"
            printf '\x10\x00\x10\x00' >&4
            for _ in $(seq 1 200); do find "/proc/$pid/fd" -lname 'socket:*' | grep -q . && break; sleep 0.02; done
            sleep 0.3
            xvfb_stop
            printf '\x00\x00\x02\x00\x01\x00\x01\x00\x05\x00\x05\x00' >&4
            exec 4>&-
        else
            (ulimit -v $((1024 * 1024)) && exec "$blitview" -b "$d/big.bmp" 10 10 110 110) >"$d/out" 2>&1 &
            pid=$!
            for _ in $(seq 1 200); do xwininfo -root -tree 2>/dev/null | grep -q '"Error"' && break; sleep 0.05; done
            xvfb_stop
        fi
        wait "$pid"
        status=$?
        check "$mode: a lost X server gives 255" test "$status" = 255
        check "$mode: and nothing is printed" test ! -s "$d/out"
        unset DISPLAY
    done
else
    skip "a lost X server: Xvfb or xwininfo missing"
fi

echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" = 0 ]
