#!/usr/bin/env bash
# Builds the Debian package from a configuration of its own, as a player's
# machine would (no tests, no benchmark), and checks what a player gets: the
# files and their places, the Depends, lintian's verdict, the command line
# without a display, and the unpacked game up to its window with its sound
# module and sounds taken from the unpacked tree.
# Usage: test_package.sh SOURCE_DIR
set -euo pipefail
# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"
XS_WAIT=40

if xsession_inside; then
    root="$1" module="$2"
    xsession_env
    # Qt's own options must get through the game's command line.
    xsession_launch strace -f -qq -o "$XS_TMP/strace.log" -e trace=openat \
        "$root/usr/games/vortana" -platform xcb -style fusion
    xsession_enter_game Pacchetto
    xsession_quit "$WIN"
    # opened PATH: the trace line of the first successful open of it.
    opened() { grep -nF "\"$1\", O_" "$XS_TMP/strace.log" | grep -v ENOENT | sed -n '1s/:.*//p' || true; }
    for file in "$root$module" "$root"/usr/share/vortana/suoni/{sparo,esplosi,laser}.wav; do
        [[ -n "$(opened "$file")" ]] || fail "$file not opened"
    done
    # The record is opened once the prompt has its name; sound comes later, never slowing the start.
    at_module="$(opened "$root$module")" at_record="$(opened "$XDG_DATA_HOME/vortana//avortana.txt")"
    ((${at_record:-0} > 0 && at_module > at_record)) || fail "the sound module was loaded before the name prompt"
    echo "sound module and sounds taken from the unpacked tree, after the prompt"
    exit 0
fi

src="$(cd "${1:?usage: test_package.sh SOURCE_DIR}" && pwd)"
app_id=io.github.vortana.Vortana
xsession_require cpack dpkg-deb dpkg-shlibdeps lintian strace readelf identify desktop-file-validate appstreamcli
xsession_tmpdir
build="$XS_TMP/build"
{
    cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DBUILD_TESTING=OFF -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON &&
        cmake --build "$build" -j2 && (cd "$build" && cpack -G DEB)
} >"$XS_TMP/build.log" 2>&1 || { tail -40 "$XS_TMP/build.log" >&2; fail "package build"; }

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
deb="$build/vortana_${version}_amd64.deb"
[[ -f "$deb" ]] || fail "no $deb"
grep -qF "sudo apt install ./${deb##*/}" "$src/README.md" || fail "the README does not install ${deb##*/}"

module="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/vortana/libvortana_sound.so"
expected="$XS_TMP/expected.txt"
{
    echo /usr/games/vortana
    echo "$module"
    printf '/usr/share/vortana/suoni/%s.wav\n' sparo esplosi laser
    echo "/usr/share/applications/$app_id.desktop"
    echo "/usr/share/metainfo/$app_id.metainfo.xml"
    echo "/usr/share/icons/hicolor/scalable/apps/$app_id.svg"
    printf "/usr/share/icons/hicolor/%sx%s/apps/$app_id.png\n" 16 16 32 32 48 48 64 64 128 128 256 256
    echo /usr/share/man/man6/vortana.6.gz
    printf '/usr/share/doc/vortana/%s\n' copyright changelog.gz
} | sort >"$expected"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort >"$XS_TMP/files.txt"
diff -u "$expected" "$XS_TMP/files.txt" >&2 || fail "the package's files differ from the expected ones"

# Linked (dpkg-shlibdeps, the sound module included) and loaded at run time.
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for pkg in libqt6widgets6 libqt6multimedia6 qt6-translations-l10n fonts-liberation2 fonts-dejavu-core \
    qt6-qpa-plugins qt6-wayland libpulse0; do
    [[ ", $depends," == *", $pkg"[\ ,]* ]] || fail "Depends lacks $pkg"
done

lintian --fail-on error --display-level '>=warning' "$deb" >"$XS_TMP/lintian.txt" 2>&1 ||
    { cat "$XS_TMP/lintian.txt" >&2; fail "lintian reports errors"; }
cat "$XS_TMP/lintian.txt"

root="$XS_TMP/root"
dpkg-deb -x "$deb" "$root"
desktop="$root/usr/share/applications/$app_id.desktop" metainfo="$root/usr/share/metainfo/$app_id.metainfo.xml"
timeout 60 desktop-file-validate "$desktop" || fail "desktop-file-validate"
timeout 60 appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -qx "Exec=/usr/games/vortana" "$desktop" || fail "the menu entry does not start /usr/games/vortana"
grep -qx "Icon=$app_id" "$desktop" || fail "the entry's icon is not $app_id"
grep -qF "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"
for size in 16 32 48 64 128 256; do
    png="$root/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png"
    [[ "$(identify -format '%m %wx%h' "$png" 2>&1)" == "PNG ${size}x$size" ]] || fail "$png is not a ${size}px PNG"
done
# Qt Multimedia comes with the sound module: linked in, it would load before main().
readelf -d "$root/usr/games/vortana" | grep -q 'NEEDED.*libQt6Multimedia' && fail "the game links Qt Multimedia"

# --help and --version answer without any display; anything else unknown is refused.
game=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/games/vortana")
[[ "$("${game[@]}" --version)" == "Vortana $version" ]] || fail "--version does not print Vortana $version"
[[ "$("${game[@]}" --help)" == *--version* ]] || fail "--help does not list --version"
rc=0
"${game[@]}" --nessuna 2>"$XS_TMP/unknown.txt" || rc=$?
((rc == 2)) && grep -q nessuna "$XS_TMP/unknown.txt" || fail "an unknown option gave status $rc: $(cat "$XS_TMP/unknown.txt")"

xsession_run 150 1024x768x24 "$root" "$module"
echo "package test passed"
