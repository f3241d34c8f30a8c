#!/usr/bin/env bash
# Installs the Debian packages Vortana needs (only those missing) and builds it.
# --play: only what building and playing need, and no tests. Otherwise also
# what the tests, benchmarks, fuzzers, screenshots and the package need.
# Safe to rerun: with everything present it does no apt work at all.
# Runs on Debian and every system based on it; it asks the package archive,
# not the release's name, which packages there are. A package the archive
# lacks is named, and nothing is installed.
set -euo pipefail

# A field of os-release(5), unquoted. VORTANA_OS_RELEASE stands in for the
# file in tests.
os_field() {
    sed -n "s/^$1=//p" "${VORTANA_OS_RELEASE:-/etc/os-release}" | sed -E "s/^([\"'])(.*)\1\$/\2/"
}
release="$(os_field PRETTY_NAME)"
if [[ "$(os_field ID)" != debian && " $(os_field ID_LIKE) " != *" debian "* ]]; then
    echo "setup: a Debian-based system expected (ID=debian or ID_LIKE with debian in os-release), not '${release:-unknown}'" >&2
    exit 1
fi

# To build: the compiler, Qt, rsvg-convert for the icons. To play: what the
# game loads at run time, as the Debian package's Depends list it.
packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-multimedia-dev libgl-dev librsvg2-bin
    qt6-translations-l10n qt6-qpa-plugins qt6-wayland libpulse0
    fonts-liberation2 fonts-dejavu-core
)
testing=ON
if [[ "${1:-}" == --play ]]; then
    testing=OFF
else
    packages+=(
        xvfb xauth xdotool imagemagick openbox x11-utils
        python3 libxdamage1 bc
        libbenchmark-dev clang
        desktop-file-utils appstream strace e2fsprogs util-linux
        dbus-x11 at-spi2-core python3-pyatspi weston mutter xwayland
        gstreamer1.0-plugins-base qt6-gtk-platformtheme pulseaudio pulseaudio-utils
        dpkg-dev lintian devscripts
        clang-format clang-tidy shellcheck
    )
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"

installed() { [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == "install ok installed" ]]; }
# "PACKAGE VERSION" for each of the packages the archive offers.
offered() {
    apt-cache policy "$@" | awk '/^[^ ]/ { pkg = $0; sub(/:.*/, "", pkg) } $1 == "Candidate:" && $2 != "(none)" { print pkg, $2 }'
}
# The upstream major version in a Debian version: 1:19.0-63 gives 19.
major() { sed -E 's/^[0-9]+://; s/[^0-9].*//' <<<"$1"; }

missing=()
for pkg in "${packages[@]}"; do
    installed "$pkg" || missing+=("$pkg")
done
# clang's runtime (sanitizers, libFuzzer) is named by clang's major version:
# the installed clang's, or else the one the archive offers.
clang_rt=
if [[ $testing == ON ]] && installed clang; then
    clang_rt="libclang-rt-$(major "$(dpkg-query -W -f='${Version}' clang)")-dev"
    installed "$clang_rt" || missing+=("$clang_rt")
fi

if ((${#missing[@]})); then
    sudo=()
    ((EUID == 0)) || sudo=(sudo)
    # Others on the machine may be running apt: wait for the lock.
    apt=(apt-get -o DPkg::Lock::Timeout=900)
    "${sudo[@]}" "${apt[@]}" update
    declare -A offer=()
    while read -r pkg version; do offer[$pkg]=$version; done < <(offered "${missing[@]}")
    if [[ $testing == ON && -z $clang_rt && -v 'offer[clang]' ]]; then
        clang_rt="libclang-rt-$(major "${offer[clang]}")-dev"
        missing+=("$clang_rt")
        while read -r pkg version; do offer[$pkg]=$version; done < <(offered "$clang_rt")
    fi
    lacking=()
    for pkg in "${missing[@]}"; do
        [[ -v "offer[$pkg]" ]] || lacking+=("$pkg")
    done
    if ((${#lacking[@]})); then
        echo "setup: ${release:-this system} has no package: ${lacking[*]}" >&2
        exit 1
    fi
    echo "setup: installing ${missing[*]}" >&2
    # Via env so the setting survives sudo's environment reset.
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING="$testing"
cmake --build "$build_dir" -j2
