#!/usr/bin/env bash
# Runs a test program against a private X server: a 1280x1024 screen at
# depth 24, started here and stopped on exit.
#   x11_test.sh PROGRAM [ARGS...]
set -euo pipefail
number=$((90 + RANDOM % 400))
while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$number" ] && break
    sleep 0.05
done
DISPLAY=":$number" "$@"
