#!/usr/bin/env bash
# Whole jobs of the window modes and of run sets, each as its own process
# against a stand-in host window on a private X server: bench/job_bench.cpp
# says what each figure is.
#   bench/jobs.sh [LIMIT_SECONDS [vectors|bitmap|runs|small|polylines [PROGRAM]]]
set -euo pipefail
# shellcheck source=SCRIPTDIR/build.sh
source "$(dirname "${BASH_SOURCE[0]}")/build.sh"
bench_build blitview job_bench x_lines
tests/fixtures/with_xvfb.sh build/bench/job_bench "$@"
