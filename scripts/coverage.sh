#!/usr/bin/env bash
# Line coverage of the product by the unit, window and program tests (the
# Wine comparisons aside: they run the Windows build). Builds with coverage
# counters in its own folder, runs the tests there, writes a per-file report
# of the lines no test ran, and prints last one line per product folder:
#   coverage FOLDER/ COVERED/TOTAL PERCENT%
# platform/ there is the files in platform/ itself, beside one line for each
# of its backend folders. A folder whose lines are built only for Windows
# (platform/win32/) has none here: 0/0.
#
# Usage: scripts/coverage.sh [BUILD_DIR]   (default: <repo>/build-coverage)
# The reports: BUILD_DIR/coverage/uncovered.txt (each file's covered share
# and the lines it misses) and BUILD_DIR/coverage/summary.json.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"
build="$(realpath -m -- "${1:-$repo/build-coverage}")"
folders=(app/ drawing/ bitmap/ present/ reading/ pictures/ inspect/ tools/ platform/ platform/gdi/ platform/posix/
         platform/x11/ platform/none/ platform/win32/)

scripts/setup.sh --coverage
jobs=$(nproc)

# The flags and the unoptimised build reach the build without a windowing
# system that one test makes beside this one, so that platform/none/ is
# measured too, line for line as here. That tree is made anew each time, so
# that it takes them.
export CXXFLAGS="--coverage" CFLAGS="--coverage" LDFLAGS="--coverage" CMAKE_BUILD_TYPE=Debug
rm -rf "$build/windowing-none"
cmake -S . -B "$build" -G Ninja -DBLITVIEW_TESTS=ON >/dev/null
cmake --build "$build" -j "$jobs"
# Counts start from nothing. Some tests run blitview as another user, whose
# counts would be lost where it may not write them: each count file is made
# empty and writable for everyone first, which the coverage runtime fills in.
find "$build" -name '*.gcda' -delete
find "$build" -name '*.gcno' -not -path '*/CMakeFiles/[0-9]*' -print0 |
    while IFS= read -r -d '' notes; do
        : >"${notes%.gcno}.gcda"
        chmod 666 "${notes%.gcno}.gcda"
    done

# A private runtime directory: another copy of blitview elsewhere on the
# machine would refuse the tests' copies.
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
XDG_RUNTIME_DIR="$runtime" ctest --test-dir "$build" --output-on-failure -j "$jobs" -E '^wine_'

# Count files that no program filled in are no data at all.
find "$build" -name '*.gcda' -empty -delete
report="$build/coverage"
mkdir -p "$report"
filters=()
for folder in "${folders[@]}"; do filters+=(--filter "$repo/$folder"); done
gcovr --root "$repo" --object-directory "$build" "${filters[@]}" --exclude-directories '.*/CMakeFiles/[0-9.]+$' \
    --txt "$report/uncovered.txt" --json-summary "$report/summary.json" --json-summary-pretty "$build" >/dev/null

echo "coverage: per-file report in $report/uncovered.txt"
python3 - "$report/summary.json" "${folders[@]}" <<'EOF'
import json
import sys

files = json.load(open(sys.argv[1]))["files"]
for folder in sys.argv[2:]:
    # platform/ itself holds only its own files; each backend folder is counted on its own.
    mine = [f for f in files if f["filename"].startswith(folder) and "/" not in f["filename"][len(folder):]]
    covered = sum(f["line_covered"] for f in mine)
    total = sum(f["line_total"] for f in mine)
    percent = 100.0 * covered / total if total else 0.0
    print(f"coverage {folder} {covered}/{total} {percent:.1f}%")
EOF
