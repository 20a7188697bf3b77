#!/usr/bin/env bash
# Installs whatever the project needs and this machine lacks, from Debian's
# packages. Nothing is installed twice; apt's lists are refreshed only when
# something is missing.
#   scripts/setup.sh          what building and the demo need
#   scripts/setup.sh --test   also what the whole test suite needs, the
#                             32-bit parts included (see below)
#   scripts/setup.sh --bench  also what the benchmarks need
#   scripts/setup.sh --coverage  what the test suite needs but its 32-bit parts, and gcovr
#
# The 32-bit parts: the i386 build of the Linux program and its tests, and
# Wine's 32-bit side (wine32), which runs the 32-bit Windows build. They
# come through Debian's multiarch where it works: the i386 architecture is
# added and libx11-dev:i386, libpng-dev:i386, libgtest-dev:i386 and
# wine32:i386 installed. Multiarch fails where Debian's i386 lists lag the
# amd64 ones (an index that does not download, libraries whose i386
# version is older than the amd64 one installed): apt would then refuse the
# packages or remove others to make room. So it is tried first in a scratch
# copy of apt's state, and the machine's own architectures are changed only
# once every index has downloaded there and the install removes nothing.
# Otherwise the Linux i386 build takes the i686 cross compiler (its own libc
# and libstdc++) and the i386 libraries it links, downloaded from Debian and
# unpacked into a folder of their own (I386_ROOT, below), which no package
# manager sees; wine32 is then not had, and the tests of the 32-bit Windows
# build under Wine skip, saying so. The last line says which way it went.
set -euo pipefail

# The i386 libraries of the Linux i386 build where multiarch cannot be had.
I386_ROOT=/opt/blitview-i386
i386_root_packages=(libx11-6 libx11-dev libxcb1 libxau6 libxdmcp6 libbsd0 libmd0 libpng16-16 libpng-dev zlib1g
                    zlib1g-dev libgtest-dev)
i386_multiarch=(libx11-dev:i386 libpng-dev:i386 libgtest-dev:i386 wine32:i386)

packages=(cmake ninja-build g++ make pkg-config libpng-dev libx11-dev xvfb)
want_i386=0
case "${1:-}" in
    --test|--coverage)
        packages+=(libgtest-dev libbenchmark-dev g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine xvfb
                   x11-utils dpkg-dev lintian file man-db python3-tk acl attr openbox picom weston xwayland
                   python3-gi python3-gi-cairo gir1.2-gtk-4.0 netpbm zip unzip groff-base bsdextrautils
                   g++-i686-linux-gnu python3-pil imagemagick ffmpeg libvips-tools devscripts)
        if [ "$1" = --test ]; then want_i386=1; fi ;;
    --bench) packages+=(libbenchmark-dev time xvfb) ;;
esac
if [ "${1:-}" = --coverage ]; then packages+=(gcovr); fi

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
i386_done=1
if ((want_i386)); then
    for package in "${i386_multiarch[@]}"; do installed "$package" || i386_done=0; done
    # The downloaded libraries do as well for the Linux side.
    [[ -e "$I386_ROOT/.complete" ]] && i386_done=1
fi
[ ${#missing[@]} -eq 0 ] && ((i386_done)) && exit 0

as_root=()
if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install ${missing[*]}" >&2; exit 1; }
    as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# Another install on the same machine holds dpkg's lock for a while: wait for it.
wait_for_lock=(-o DPkg::Lock::Timeout=600)
apt_get() {
    "${as_root[@]}" apt-get "${wait_for_lock[@]}" "$@"
}

if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    # Where an added architecture's lists no longer download, the lists of
    # the machine's own architecture still do, and they are all the
    # packages above need.
    if ! apt_get update -qq; then
        echo "setup: apt-get update failed; refreshing the amd64 lists alone" >&2
        apt_get -o APT::Architectures::=amd64 update -qq
    fi
    apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
((i386_done)) && exit 0

# ---- The 32-bit parts ----
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# apt downloads as its own user, who must reach the folder.
chmod 755 "$scratch"
mkdir -p "$scratch/lists/partial" "$scratch/cache/archives/partial"
# apt with amd64 and i386 in a state of its own: the machine's lists, cache
# and architectures stay as they are.
scratch_apt=(-o Dir::State::Lists="$scratch/lists" -o Dir::Cache="$scratch/cache"
             -o APT::Architectures::=amd64 -o APT::Architectures::=i386)

# Whether installing PACKAGE... with multiarch works in the scratch state:
# it resolves, and removes nothing.
multiarch_installs() {
    "${as_root[@]}" apt-get "${scratch_apt[@]}" install -s -qq "$@" >"$scratch/simulated" 2>&1 &&
        ! grep -q '^Remv ' "$scratch/simulated"
}

scratch_updated=0
if "${as_root[@]}" apt-get "${scratch_apt[@]}" update -qq >"$scratch/update.log" 2>&1; then
    scratch_updated=1
fi
chosen=()
if ((scratch_updated)); then
    if multiarch_installs "${i386_multiarch[@]}"; then
        chosen=("${i386_multiarch[@]}")
    elif multiarch_installs "${i386_multiarch[@]:0:3}"; then
        chosen=("${i386_multiarch[@]:0:3}")
    fi
fi

added=0
if ((${#chosen[@]})); then
    echo "setup: multiarch works here: installing ${chosen[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || { "${as_root[@]}" dpkg --add-architecture i386; added=1; }
    if apt_get update -qq && apt_get install -y -qq --no-install-recommends "${chosen[@]}" >/dev/null; then
        echo "setup: 32-bit parts: multiarch (${chosen[*]})"
        exit 0
    fi
    echo "setup: multiarch failed after all" >&2
    # An architecture that this script added and nothing uses yet is taken
    # back, so that later installs see the machine as it was.
    if ((added)) && ! dpkg-query -W -f='${Architecture}\n' 2>/dev/null | grep -qx i386; then
        "${as_root[@]}" dpkg --remove-architecture i386
        apt_get update -qq || apt_get -o APT::Architectures::=amd64 update -qq
    fi
fi

# Multiarch cannot be had: the i386 libraries of the Linux build into a
# folder of their own. The main i386 index is enough for them, whether or
# not every index downloaded.
reason="apt would refuse the i386 packages or remove others for them"
((scratch_updated)) || reason=$(grep -m1 '^E:' "$scratch/update.log" || echo "an i386 index failed to download")
echo "setup: no multiarch here: $reason"
echo "setup: unpacking the i386 libraries into $I386_ROOT"
mkdir -p "$scratch/debs"
chmod 777 "$scratch/debs"
(cd "$scratch/debs" && "${as_root[@]}" apt-get "${scratch_apt[@]}" download -qq "${i386_root_packages[@]/%/:i386}")
"${as_root[@]}" rm -rf "$I386_ROOT"
"${as_root[@]}" mkdir -p "$I386_ROOT"
for deb in "$scratch/debs"/*.deb; do
    "${as_root[@]}" dpkg-deb -x "$deb" "$I386_ROOT"
done
# A link to an absolute path means the same path inside the folder.
while IFS= read -r -d '' link; do
    target=$(readlink "$link")
    [[ "$target" == /* ]] && "${as_root[@]}" ln -sfn "$I386_ROOT$target" "$link"
done < <(find "$I386_ROOT" -type l -print0)
(cd "$scratch/debs" && ls ./*.deb) | "${as_root[@]}" tee "$I386_ROOT/.complete" >/dev/null
echo "setup: 32-bit parts: the i686 cross compiler with the libraries in $I386_ROOT; no wine32"
