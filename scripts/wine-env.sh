# shellcheck shell=bash
# A private, reusable Wine environment for running the Windows build of
# blitview in tests, and what every Wine comparison needs around it. Source
# this file, then:
#
#   wine_env_build BUILD_DIR TARGET...   # the Windows programs, into BUILD_DIR
#   wine_env_make_work NAME KEEP         # a work folder in WINE_ENV_WORK
#   wine_env_start WINE_DIR     # prefix in WINE_DIR/wineprefix, display, server
#   "$(wine_env_loader "$exe")" "$exe" -f "$(wine_env_winpath "$file")"
#   ...
#   wine_env_stop               # also run by the EXIT trap wine_env_start sets
#
# The prefix is created once (wineboot -i) and kept for later runs; the slow
# part of a Wine start is the prefix and the wineserver, so one persistent
# wineserver serves all runs of a session. After that warm-up one conversion
# costs about 0.15 s.
#
# The display: the canvas is made compatible with the screen, so the screen
# depth decides the pixel format GDI draws in. To keep results independent of
# whoever runs the tests, a private Xvfb with depth 24 is started, unless
# BLITVIEW_WINE_DISPLAY names a display to use instead. An inherited DISPLAY
# is deliberately ignored.
#
# Cleanup: wine_env_start installs an EXIT trap that runs wine_env_stop and
# then whatever EXIT trap was set before. A caller that sets its own EXIT trap
# afterwards must call wine_env_stop from it. INT, TERM and HUP end the shell
# so that the EXIT trap runs. wine_env_stop may be called more than once.
#
# Functions return non-zero with a message on stderr when something is
# missing or fails; nothing is installed.

# Seconds the wineserver stays up after the last Windows process ends. Long
# enough to bridge the gaps between runs; short enough that a session killed
# without cleanup (SIGKILL) does not leave a server behind for long.
: "${WINE_ENV_SERVER_LINGER:=60}"

WINE_ENV_SCRIPTS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=SCRIPTDIR/xvfb.sh
source "$WINE_ENV_SCRIPTS/xvfb.sh"

WINE_ENV_LOCK_FD=""
WINE_ENV_ACTIVE=0
WINE_ENV_WORK=""
WINE_ENV_KEEP=""

_wine_env_fail() {
    echo "wine-env: $*" >&2
    return 1
}

# Builds the Windows programs TARGET... (blitview, view_host, polyline_probe,
# upload_probe) with scripts/build-windows.sh into BUILD_DIR, where they land
# as TARGET.exe; incremental after the first time. The log goes to
# BUILD_DIR/build.log and is shown when the build fails.
wine_env_build() {
    local build_dir="${1:?usage: wine_env_build BUILD_DIR TARGET...}"
    shift
    mkdir -p "$build_dir" || return
    if ! "$WINE_ENV_SCRIPTS/build-windows.sh" "$build_dir" "$@" >"$build_dir/build.log" 2>&1; then
        cat "$build_dir/build.log" >&2
        _wine_env_fail "the Windows build of $* failed" || return
    fi
}

# Exits with status 2 naming the first of PROGRAM... that is not an
# executable file; the first argument names the calling script.
wine_env_need_programs() {
    local prefix="$1" program
    shift
    for program in "$@"; do
        [[ -x "$program" ]] || { echo "$prefix: not an executable: $program" >&2; exit 2; }
    done
}

# Reports one compared case, "NAME: same" (with NOTE in brackets, when
# given) or "NAME: DIFFERENT: PROBLEM", and counts it in WINE_ENV_PASSED or
# WINE_ENV_FAILED; wine_env_tally prints the closing "N passed, M failed".
WINE_ENV_PASSED=0
WINE_ENV_FAILED=0
wine_env_verdict() {
    local name="$1" problem="$2" note="${3:-}"
    if [[ -z "$problem" ]]; then
        echo "$name: same${note:+ ($note)}"
        WINE_ENV_PASSED=$((WINE_ENV_PASSED + 1))
    else
        echo "$name: DIFFERENT: $problem"
        WINE_ENV_FAILED=$((WINE_ENV_FAILED + 1))
    fi
}

wine_env_tally() {
    echo "$WINE_ENV_PASSED passed, $WINE_ENV_FAILED failed"
}

# A fresh work folder in WINE_ENV_WORK, removed at exit unless KEEP is 1. The
# program takes its path as one word of at most 255 characters, so the folder
# has a short path without white space. Call it before wine_env_start, whose
# EXIT trap runs this one's afterwards.
wine_env_make_work() {
    local name="${1:?usage: wine_env_make_work NAME KEEP}"
    WINE_ENV_KEEP="${2:-}"
    WINE_ENV_WORK="$(mktemp -d "/tmp/blitview-$name.XXXXXX")" || return
    trap _wine_env_remove_work EXIT
}

_wine_env_remove_work() {
    [[ -n "$WINE_ENV_WORK" ]] || return 0
    if [[ "$WINE_ENV_KEEP" == 1 ]]; then
        echo "wine-env: results kept in $WINE_ENV_WORK" >&2
    else
        rm -rf "$WINE_ENV_WORK"
    fi
    WINE_ENV_WORK=""
}

# Converts an absolute Unix path into the Windows path Wine maps it to (drive
# Z: is the Unix root in every prefix). The .exe uses the same string for
# fopen, CreateFileA and DeleteFileA, and a drive-qualified path means the
# same file to all of them whatever the current directory is.
wine_env_winpath() {
    case "$1" in
        /*) ;;
        *) _wine_env_fail "not an absolute path: $1" || return ;;
    esac
    printf 'Z:%s\n' "${1//\//\\}"
}

# Prints the Wine loader to run EXE with: the one of its own word size.
# Where wine32 is installed, `wine` is the 32-bit loader, and it starts a
# 64-bit program through start.exe in a process of its own; the process a
# caller started (to wait for, stop, kill or time out) would then not be the
# program. A 64-bit program therefore runs under Debian's 64-bit loader
# where there is one.
wine_env_loader() {
    local exe="${1:?usage: wine_env_loader EXE}" header machine
    header=$(od -An -tu4 -j 60 -N 4 -- "$exe" 2>/dev/null | tr -d ' ')
    [[ "$header" =~ ^[0-9]+$ ]] &&
        machine=$(od -An -tx2 -j $((header + 4)) -N 2 -- "$exe" 2>/dev/null | tr -d ' ')
    if [[ "${machine:-}" == 8664 && -x /usr/lib/wine/wine64 ]]; then
        echo /usr/lib/wine/wine64
    else
        echo wine
    fi
}

wine_env_start() {
    local build_dir="${1:?usage: wine_env_start WINE_DIR}" tool
    for tool in wine wineserver wineboot flock; do
        command -v "$tool" >/dev/null 2>&1 ||
            _wine_env_fail "$tool not found (install the wine package; scripts/setup.sh does)" || return
    done
    mkdir -p "$build_dir" || return
    build_dir="$(cd "$build_dir" && pwd)"

    export WINEPREFIX="$build_dir/wineprefix"
    export WINEARCH=win64
    export WINEDEBUG=-all
    # No Mono or Gecko install prompts, and no desktop menu entries in $HOME.
    export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

    _wine_env_install_trap

    # One session per prefix at a time: a second one would share (and then
    # kill) the first one's wineserver. The lock descriptor is kept from the
    # long-lived processes started below, so that one left behind by a killed
    # session cannot hold the lock.
    exec {WINE_ENV_LOCK_FD}>"$build_dir/wineprefix.lock" || return
    flock -w 600 "$WINE_ENV_LOCK_FD" ||
        _wine_env_fail "another session holds $build_dir/wineprefix.lock" || return
    WINE_ENV_ACTIVE=1

    if [[ -n "${BLITVIEW_WINE_DISPLAY:-}" ]]; then
        export DISPLAY="$BLITVIEW_WINE_DISPLAY"
    else
        xvfb_start 1280x1024 "$build_dir/xvfb.log" "$WINE_ENV_LOCK_FD" || return
    fi

    # A server left over by a killed session would still be bound to that
    # session's display.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true

    local stamp="$WINEPREFIX/.blitview-prefix-ready"
    if [[ ! -e "$stamp" ]]; then
        # Missing or half-made by an interrupted first run: start over.
        rm -rf "$WINEPREFIX"
        if ! wineboot -i >"$build_dir/wineboot.log" 2>&1 </dev/null {WINE_ENV_LOCK_FD}>&-; then
            _wine_env_fail "wineboot -i failed, see $build_dir/wineboot.log" || return
        fi
        wineserver -w >/dev/null 2>&1 || true
        if [[ "$(readlink "$WINEPREFIX/dosdevices/z:")" != "/" ]]; then
            _wine_env_fail "drive Z: of $WINEPREFIX is not the Unix root" || return
        fi
        touch "$stamp"
    fi

    wineserver -p"$WINE_ENV_SERVER_LINGER" >/dev/null 2>&1 {WINE_ENV_LOCK_FD}>&- ||
        _wine_env_fail "could not start wineserver" || return
    # The first process of a session starts the Wine desktop (about 1.5 s);
    # pay that here rather than in the first timed run.
    wine cmd /c exit 0 >/dev/null 2>&1 </dev/null {WINE_ENV_LOCK_FD}>&- ||
        _wine_env_fail "wine cannot run programs in $WINEPREFIX" || return
}

wine_env_stop() {
    if [[ "$WINE_ENV_ACTIVE" == 1 && -n "${WINEPREFIX:-}" ]]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    xvfb_stop
    if [[ -n "$WINE_ENV_LOCK_FD" ]]; then
        exec {WINE_ENV_LOCK_FD}>&-
        WINE_ENV_LOCK_FD=""
    fi
    WINE_ENV_ACTIVE=0
}

_wine_env_install_trap() {
    local previous
    previous="$(trap -p EXIT)"
    if [[ -n "$previous" && "$previous" != *wine_env_stop* ]]; then
        # `trap -p` prints a command that can be read back as words:
        # trap -- 'COMMAND' EXIT
        local words
        eval "words=($previous)"
        # shellcheck disable=SC2064  # the earlier command is meant to be fixed now
        trap "wine_env_stop; ${words[2]}" EXIT
    elif [[ -z "$previous" ]]; then
        trap wine_env_stop EXIT
    fi
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
}
