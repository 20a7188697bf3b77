# shellcheck shell=bash
# The one way the tests, the Wine comparisons and the demo start a private X
# server. Source this file, then:
#
#   xvfb_start WIDTHxHEIGHT LOG [FD]   # exports DISPLAY, sets XVFB_PID
#   ...
#   xvfb_stop                          # may be called more than once
#
#   xvfb_start_screens LOG ARGS...     # the same with the server's own screen
#                                      # arguments (-screen N WxHxD, +xinerama)
#
# -displayfd makes Xvfb pick a free display number itself and write it out
# once it accepts connections: no guessing, no race with other servers, and
# the write doubles as the readiness signal. The screen is 24 bits deep, so
# that results do not depend on whoever runs them, and the server does not
# reset when its last client leaves (-noreset), so that a client connecting
# right after another never meets a server in the middle of a reset. FD, when
# given, is a descriptor of the caller that the server must not inherit (a
# lock, say).
#
# Returns non-zero with a message on stderr when Xvfb is missing or does not
# start within 10 s.

XVFB_PID=""

xvfb_start() {
    local geometry="${1:?usage: xvfb_start WIDTHxHEIGHT LOG [FD]}" log="${2:?usage: xvfb_start WIDTHxHEIGHT LOG [FD]}"
    XVFB_CLOSE_FD="${3:-}" xvfb_start_screens "$log" -screen 0 "${geometry}x24"
}

xvfb_start_screens() {
    local log="${1:?usage: xvfb_start_screens LOG ARGS...}" close_fd="${XVFB_CLOSE_FD:-}" fd_file display="" i
    shift
    if ! command -v Xvfb >/dev/null 2>&1; then
        echo "xvfb: Xvfb not found (install the xvfb package; scripts/setup.sh does)" >&2
        return 1
    fi
    fd_file="$(mktemp)" || return
    (
        if [[ -n "$close_fd" ]]; then eval "exec $close_fd>&-"; fi
        exec Xvfb -displayfd 3 "$@" -nolisten tcp -noreset 3>"$fd_file" >"$log" 2>&1 </dev/null
    ) &
    XVFB_PID=$!
    for ((i = 0; i < 200; i++)); do
        if [[ -s "$fd_file" ]]; then
            read -r display <"$fd_file" || true
            [[ -n "$display" ]] && break
        fi
        if ! kill -0 "$XVFB_PID" 2>/dev/null; then
            XVFB_PID=""
            rm -f "$fd_file"
            echo "xvfb: Xvfb exited at start: $(tail -n 3 "$log" 2>/dev/null)" >&2
            return 1
        fi
        sleep 0.05
    done
    rm -f "$fd_file"
    if [[ -z "$display" ]]; then
        xvfb_stop
        echo "xvfb: Xvfb did not become ready within 10 s" >&2
        return 1
    fi
    export DISPLAY=":$display"
}

xvfb_stop() {
    if [[ -n "$XVFB_PID" ]]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    fi
}
