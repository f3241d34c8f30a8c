#!/usr/bin/env bash
# Builds the Windows game on Debian 12 or 13, from Debian's packages alone:
# installs MinGW-w64, Wine and NSIS, cross-builds the Qt the game needs from
# the source package of the host's own Qt (once: it is kept in a cache
# folder outside the tree while that version is installed), cross-builds the
# game, and writes a portable zip and an installer into build-windows/.
# --test also runs the Windows tests under Wine.
#
# Usage: scripts/windows.sh [--test]
# WINDOWS_BUILD_DIR (default build-windows) and XDG_CACHE_HOME are honoured.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
test=0
case "${1:-}" in
    --test) test=1 ;;
    --qt) ;;  # only the packages and Qt
    "") ;;
    *) echo "usage: scripts/windows.sh [--test]" >&2; exit 2 ;;
esac
cache="${XDG_CACHE_HOME:-$HOME/.cache}/vortana-windows"
build_dir="$(realpath -m "${WINDOWS_BUILD_DIR:-$root/build-windows}")"
mingw=x86_64-w64-mingw32
say() { echo "windows: $*" >&2; }
sudo=()
((EUID == 0)) || sudo=(sudo)
apt=(apt-get -o DPkg::Lock::Timeout=900)

# --- Packages -----------------------------------------------------------
packages=(
    build-essential cmake ninja-build dpkg-dev librsvg2-bin fonts-liberation2 fonts-dejavu-core
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
    g++-mingw-w64-x86-64-posix mingw-w64-tools
    wine wine64 nsis zip unzip xvfb xauth xdotool x11-utils imagemagick openbox gawk
)
install_packages() {
    local missing=() pkg status
    for pkg in "${packages[@]}"; do
        status="$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)"
        [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
    done
    ((${#missing[@]})) || return 0
    say "installing ${missing[*]}"
    "${sudo[@]}" "${apt[@]}" update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
}

# Qt's sources: the source package of exactly the Qt installed here. Its
# release's deb-src entry is added when apt has none.
fetch_source() { # PACKAGE VERSION FOLDER
    local codename mirror
    if ! apt-get source --print-uris "$1=$2" >/dev/null 2>&1; then
        codename="$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release)"
        # The mirror apt already uses for the release's binaries (apt's own
        # $(...) fields, not the shell's).
        # shellcheck disable=SC2016
        mirror="$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Created-By: Packages' |
            awk -v r="$codename" '$2 == r { print $1; exit }')"
        mirror="${mirror:-http://deb.debian.org/debian/}"
        say "adding a deb-src entry for $codename from $mirror"
        printf '%s\n' "Types: deb-src" "URIs: $mirror" \
            "Suites: $codename $codename-updates" "Components: main" \
            "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
            "${sudo[@]}" tee /etc/apt/sources.list.d/vortana-deb-src.sources >/dev/null
        "${sudo[@]}" "${apt[@]}" update
    fi
    # Unpacked aside: a folder in place is whole, as the next run trusts.
    rm -rf "$3.part" && mkdir -p "$3.part"
    (cd "$3.part" && apt-get source --only-source "$1=$2")
    rm -rf "$3" && mv "$3.part" "$3"
}

# --- Qt for Windows -----------------------------------------------------
# Known once the packages are in: a fresh machine has no Qt before them.
qt_version="" qt_dir="" qt_prefix=""
find_qt() {
    qt_version="$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)"
    qt_dir="$cache/qt-${qt_version}"
    qt_prefix="$qt_dir/prefix"
    # Qt 6.8 (Debian 13) needs DirectWrite for its Windows font database,
    # and Direct2D for DirectWrite's font loader: both stay as Qt decides.
    if [[ "$qt_version" != 6.4.* ]]; then
        local option kept=()
        for option in "${qt_options[@]}"; do
            [[ "$option" == -DFEATURE_direct* ]] || kept+=("$option")
        done
        qt_options=("${kept[@]}")
    fi
}
# What the game uses: Core, Gui, Widgets, the Windows platform plugin, and
# Test for its tests. 6.4.2 with OpenGL off still builds its dynamic GL
# loader unless told not to; DirectWrite 3's font database is left out, as
# the Windows plugin can't link it without Direct2D.
qt_options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_opengl_dynamic=OFF -DFEATURE_dynamicgl=OFF
    -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_vulkan=OFF -DFEATURE_zstd=OFF -DFEATURE_tabletevent=OFF
    -DFEATURE_network=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_testlib=ON -DFEATURE_widgets=ON
)
build_qt() {
    [[ -n "$qt_version" ]] || { say "qt6-base-dev is not installed"; exit 1; }
    local options
    options="${qt_options[*]} $(sha256sum "$root/cmake/mingw-w64.cmake" | cut -c1-16)"
    if [[ -f "$qt_prefix/.built" && "$(cat "$qt_prefix/.built")" == "$options" ]]; then
        say "Qt $qt_version for Windows: cached in $qt_dir"
        return 0
    fi
    local upstream="${qt_version%%-*}"
    local src="$qt_dir/src/qt6-base-${upstream}"
    [[ -d "$src" ]] || fetch_source qt6-base "$qt_version" "$qt_dir/src"
    # A build cut short goes on where it stopped; other options start anew.
    if [[ "$(cat "$qt_dir/options" 2>/dev/null)" != "$options" ]]; then
        rm -rf "$qt_dir/build" "$qt_prefix"
        echo "$options" >"$qt_dir/options"
    fi
    local log="$qt_dir/build.log"
    say "building Qt $qt_version for Windows in $qt_dir (log: $log)"
    local start=$SECONDS
    {
        cmake -S "$src" -B "$qt_dir/build" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
            -DCMAKE_INSTALL_PREFIX="$qt_prefix" "${qt_options[@]}" &&
            nice -n 19 cmake --build "$qt_dir/build" --parallel 2 &&
            cmake --install "$qt_dir/build"
    } >>"$log" 2>&1 || { tail -n 40 "$log" >&2; say "Qt build failed (log: $log)"; exit 1; }
    # Qt's Italian texts, for the tests, from the host's package of the same version.
    mkdir -p "$qt_prefix/translations"
    cp /usr/share/qt6/translations/qtbase_it.qm "$qt_prefix/translations/"
    echo "$options" >"$qt_prefix/.built"
    say "Qt built in $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s"
}

# --- The game ---------------------------------------------------------
version="$(sed -n 's/^project(vortana VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
release_date="$(sed -n 's/^set(VORTANA_RELEASE_DATE \(.*\))$/\1/p' "$root/CMakeLists.txt")"
stage="$build_dir/vortana-$version"
zip_file="$build_dir/vortana-$version-windows-x64.zip"
setup_file="$build_dir/vortana-$version-setup.exe"

build_game() {
    say "building the game for Windows in $build_dir"
    cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DCMAKE_PREFIX_PATH="$qt_prefix" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING="$( ((test)) && echo ON || echo OFF)" \
        -DVORTANA_BENCH=OFF -DCMAKE_CROSSCOMPILING_EMULATOR=wine >/dev/null
    nice -n 10 cmake --build "$build_dir" --parallel 2
}

# What the game needs beside it: Qt's libraries and plugins, the MinGW
# runtime, the sounds, Qt's Italian translation, and qt.conf, which makes
# the folder Qt's prefix.
stage_game() {
    rm -rf "$stage"
    mkdir -p "$stage"/{platforms,styles,translations,suoni}
    cp "$build_dir/vortana.exe" "$stage/"
    cp "$build_dir"/suoni/*.wav "$stage/suoni/"
    cp "$qt_prefix"/bin/Qt6{Core,Gui,Widgets}.dll "$stage/"
    cp "$qt_prefix/plugins/platforms/qwindows.dll" "$stage/platforms/"
    # Windows' own look: qwindowsvistastyle in 6.4, qmodernwindowsstyle in 6.8.
    cp "$qt_prefix"/plugins/styles/*.dll "$stage/styles/"
    local dll
    for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
        cp "$(find /usr/lib/gcc/$mingw/*-posix /usr/$mingw/lib -name "$dll" | head -n 1)" "$stage/"
    done
    cp /usr/share/qt6/translations/qtbase_it.qm "$stage/translations/"
    printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\nTranslations = translations\r\n' >"$stage/qt.conf"
    find "$stage" \( -name '*.exe' -o -name '*.dll' \) -print0 | xargs -0 "$mingw-strip" --strip-unneeded
    # Every library a program or plugin imports is in the folder or is
    # Windows' own (api-ms-win-* are API sets, which Windows' loader resolves).
    local imported missing=()
    for imported in $(find "$stage" \( -name '*.exe' -o -name '*.dll' \) -print0 | xargs -0 "$mingw-objdump" -p | sed -n 's/^\tDLL Name: //p' | sort -u); do
        [[ -e "$stage/$imported" || -e "$WINE_SYSTEM32/${imported,,}" || "${imported,,}" == api-ms-win-* ]] || missing+=("$imported")
    done
    ((${#missing[@]} == 0)) || { say "libraries neither staged nor Windows' own: ${missing[*]}"; exit 1; }
    find "$stage" -exec touch -d "$release_date 00:00:00 UTC" {} +
}

package_game() {
    rm -f "$zip_file" "$setup_file"
    (cd "$build_dir" && find "vortana-$version" | LC_ALL=C sort | TZ=UTC zip -q -X -D "$zip_file" -@)
    makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup_file" "$root/packaging/vortana.nsi"
    say "$(stat -c '%s bytes' "$zip_file"): $zip_file"
    say "$(stat -c '%s bytes' "$setup_file"): $setup_file"
}

# --- Wine ---------------------------------------------------------------
# A prefix of its own, made afresh, with no Mono or Gecko to offer. Wine 8
# hands a Windows program none of the QT_* variables of Linux (seen here),
# so Qt's are set in the prefix's own environment: messages on stderr, not
# the debugger's channel, and any others given as NAME=VALUE.
wine_prefix() { # FOLDER [NAME=VALUE...]
    rm -rf "$1"
    mkdir -p "$1"
    WINEPREFIX="$1" wineboot -i >/dev/null 2>&1
    local setting
    for setting in QT_FORCE_STDERR_LOGGING=1 "${@:2}"; do
        WINEPREFIX="$1" wine reg add 'HKCU\Environment' /v "${setting%%=*}" /d "${setting#*=}" /f >/dev/null 2>&1
    done
    WINEPREFIX="$1" wineserver -w
}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINE_SYSTEM32="$cache/system32"  # the names of Windows' own libraries, from a Wine prefix

run_tests() {
    local wine_dir="$build_dir/wine" started=$SECONDS dir path=()
    # The window tests run offscreen, as on Linux, where Qt reads the fonts
    # from one folder: the stand-ins the game names, as Debian has them.
    say "test programs under Wine"
    mkdir -p "$wine_dir/fonts"
    find /usr/share/fonts -name 'Liberation*.ttf' -exec ln -sf {} "$wine_dir/fonts/" \;
    find /usr/share/fonts -name 'DejaVu*.ttf' -exec ln -sf {} "$wine_dir/fonts/" \;
    wine_prefix "$wine_dir/tests" QT_QPA_PLATFORM=offscreen \
        QT_QPA_FONTDIR="$(WINEPREFIX="$cache/wine" winepath -w "$wine_dir/fonts")"
    # Qt's libraries and MinGW's runtime, where Windows looks for them.
    for dir in "$qt_prefix/bin" "$(dirname "$($mingw-g++-posix -print-file-name=libstdc++-6.dll)")" "/usr/$mingw/lib"; do
        path+=("$(WINEPREFIX="$wine_dir/tests" winepath -w "$dir")")
    done
    (IFS=';' && WINEPREFIX="$wine_dir/tests" WINEPATH="${path[*]}" \
        xvfb-run -a ctest --test-dir "$build_dir" --output-on-failure --timeout 300)
    say "the game played under Wine"
    bash "$root/tests/windows/e2e_wine.sh" "$stage/vortana.exe" "$wine_dir/game" "$build_dir/screenshot-windows.png"
    say "the installer under Wine"
    bash "$root/tests/windows/installer.sh" "$setup_file" "$wine_dir/installer"
    say "tests passed in $((SECONDS - started)) s"
}

install_packages
find_qt
build_qt
[[ "${1:-}" == --qt ]] && exit 0
if [[ ! -d "$WINE_SYSTEM32" ]]; then
    wine_prefix "$cache/wine"
    WINEPREFIX="$cache/wine" wineserver -w
    rm -rf "$WINE_SYSTEM32.part" && mkdir -p "$WINE_SYSTEM32.part"
    (cd "$cache/wine/drive_c/windows/system32" && find . -maxdepth 1 -iname '*.dll' -printf '%f\n' | tr '[:upper:]' '[:lower:]' | xargs -I{} touch "$WINE_SYSTEM32.part/{}")
    mv "$WINE_SYSTEM32.part" "$WINE_SYSTEM32"
fi
build_game
stage_game
package_game
((test)) || exit 0
run_tests
