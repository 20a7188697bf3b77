#!/usr/bin/env bash
# Installs whatever the project needs and this machine lacks, from Debian's
# packages. Nothing is installed twice; apt's lists are refreshed only when
# something is missing.
#   scripts/setup.sh          what building and the demo need
#   scripts/setup.sh --test   also what the whole test suite needs
#   scripts/setup.sh --bench  also what the benchmarks need
#   scripts/setup.sh --coverage  what the test suite needs, and gcovr
set -euo pipefail

packages=(cmake ninja-build g++ make pkg-config libpng-dev libx11-dev xvfb)
case "${1:-}" in
    --test|--coverage) packages+=(libgtest-dev libbenchmark-dev g++-mingw-w64-x86-64-posix wine xvfb x11-utils
                      dpkg-dev lintian file man-db python3-tk acl attr openbox picom weston xwayland
                      python3-gi python3-gi-cairo gir1.2-gtk-4.0 netpbm) ;;
    --bench) packages+=(libbenchmark-dev time xvfb) ;;
esac
if [ "${1:-}" = --coverage ]; then packages+=(gcovr); fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
as_root=()
if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install ${missing[*]}" >&2; exit 1; }
    as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# Another install on the same machine holds dpkg's lock for a while: wait for it.
wait_for_lock=(-o DPkg::Lock::Timeout=600)
"${as_root[@]}" apt-get "${wait_for_lock[@]}" update -qq
"${as_root[@]}" apt-get "${wait_for_lock[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
