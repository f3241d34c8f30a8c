#!/usr/bin/env bash
# Installs the Debian packages Vortana needs (only those missing) and builds it.
# --play: only what building and playing need, and no tests. Otherwise also
# what the tests, benchmarks, fuzzers, screenshots and the package need.
# Safe to rerun: with everything present it does no apt work at all.
# Debian 12 (bookworm) and 13 (trixie): the few names that differ are
# chosen by the release this runs on.
set -euo pipefail

codename="$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release)"
case "$codename" in
    bookworm) clang_rt=libclang-rt-14-dev ;;  # its clang is 14
    trixie) clang_rt=libclang-rt-19-dev ;;    # its clang is 19
    *) echo "setup: Debian 12 (bookworm) or 13 (trixie) expected, not '${codename:-unknown}'" >&2; exit 1 ;;
esac

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
        libbenchmark-dev clang "$clang_rt"
        desktop-file-utils appstream strace e2fsprogs util-linux
        dbus-x11 at-spi2-core python3-pyatspi weston mutter xwayland
        gstreamer1.0-plugins-base qt6-gtk-platformtheme pulseaudio pulseaudio-utils
        dpkg-dev lintian devscripts
        clang-format clang-tidy shellcheck
    )
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"

missing=()
for pkg in "${packages[@]}"; do
    # dpkg-query fails for never-seen packages; a removed one reports "deinstall".
    status="$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)"
    [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done

if ((${#missing[@]})); then
    sudo=()
    ((EUID == 0)) || sudo=(sudo)
    echo "setup: installing ${missing[*]}" >&2
    # Others on the machine may be running apt: wait for the lock.
    apt=(apt-get -o DPkg::Lock::Timeout=900)
    "${sudo[@]}" "${apt[@]}" update
    # Via env so the setting survives sudo's environment reset.
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING="$testing"
cmake --build "$build_dir" -j2
