#!/usr/bin/env bash
# Runs a test program against a private X server: a 1280x1024 screen at
# depth 24, started here and stopped on exit.
#   x11_test.sh PROGRAM [ARGS...]
set -euo pipefail
# shellcheck source=SCRIPTDIR/../scripts/xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/xvfb.sh"
trap xvfb_stop EXIT
xvfb_start 1280x1024 /dev/null
"$@"
