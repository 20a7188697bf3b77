#!/usr/bin/env bash
# The cost of blitview-inspect --render beside the window job it stands in
# for, in turns and as medians: bench/render_bench.cpp says what is timed.
#   bench/render.sh [ROUNDS [all|sample|pictures|polylines [INSPECTOR]]]
set -euo pipefail
# shellcheck source=SCRIPTDIR/build.sh
source "$(dirname "${BASH_SOURCE[0]}")/build.sh"
bench_build blitview blitview-inspect render_bench
# Each job is one copy of blitview: a runtime directory of its own keeps the
# single-instance claim away from any other copy of this user.
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
tests/fixtures/with_xvfb.sh build/bench/render_bench examples/sample.drw examples/sample.VCT "$@"
