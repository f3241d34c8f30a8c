#!/usr/bin/env bash
# Installs the Debian packages Vortana needs (only those missing) and builds it.
# Safe to rerun: with everything present it does no apt work at all.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-multimedia-dev qt6-translations-l10n qt6-qpa-plugins libgl-dev
    fonts-liberation2 fonts-dejavu-core
    xvfb xauth xdotool imagemagick
    python3 libxdamage1 bc
    libbenchmark-dev clang libclang-rt-14-dev
    desktop-file-utils appstream librsvg2-bin strace
    dbus-x11 at-spi2-core python3-pyatspi qt6-wayland weston
    gstreamer1.0-plugins-base
)

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
    "${sudo[@]}" apt-get update
    # Via env so the setting survives sudo's environment reset.
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build_dir" -j2
