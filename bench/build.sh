# shellcheck shell=bash
# What every benchmark script does first: installs what the benchmarks need,
# then builds the named targets of this tree into build/, from the tree's top.
#   source bench/build.sh; bench_build TARGET...
bench_build() {
    cd "$(dirname "${BASH_SOURCE[0]}")/.." || return
    scripts/setup.sh --bench
    cmake -S . -B build -G Ninja >/dev/null
    cmake --build build --target "$@" >/dev/null
}
