#!/usr/bin/env bash
# The Debian package, built twice in unlike builds, and what a player gets
# from it (CONTRIBUTING.md, Tests).
# Usage: test_package.sh SOURCE_DIR
set -euo pipefail
# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"
XS_WAIT=40

if xsession_inside; then
    root="$1" module="$2"
    xsession_env
    # Qt's own options must get through the game's command line.
    xsession_launch strace -f -qq -o "$XS_TMP/strace.out" -e trace=openat \
        "$root/usr/games/vortana" -platform xcb -style fusion
    xsession_enter_game Pacchetto
    xsession_quit "$WIN"
    # opened PATH: the trace line of the first successful open of it.
    opened() { grep -nF "\"$1\", O_" "$XS_TMP/strace.out" | grep -v ENOENT | sed -n '1s/:.*//p' || true; }
    for file in "$root$module" "$root"/usr/share/vortana/suoni/{sparo,esplosi,laser}.wav; do
        [[ -n "$(opened "$file")" ]] || fail "$file not opened"
    done
    # The record is opened once the prompt has its name; sound comes later, never slowing the start.
    at_module="$(opened "$root$module")" at_record="$(opened "$XDG_DATA_HOME/vortana/avortana.txt")"
    ((${at_record:-0} > 0 && at_module > at_record)) || fail "the sound module was loaded before the name prompt"
    echo "sound module and sounds taken from the unpacked tree, after the prompt"
    exit 0
fi

src="$(cd "${1:?usage: test_package.sh SOURCE_DIR}" && pwd)"
app_id=io.github.vortana.Vortana
xsession_require cpack dpkg-deb dpkg-shlibdeps lintian hardening-check strace readelf desktop-file-validate appstreamcli
xsession_tmpdir
# Problems with the package itself are all reported before the test ends.
problems=0
problem() { echo "$XS_NAME: $*" >&2; problems=$((problems + 1)); }

# package SOURCE BUILD CMAKE_OPTIONS...: cpack builds on the two cores CI has.
package() {
    { cmake -S "$1" -B "$2" -DBUILD_TESTING=OFF "${@:3}" && (cd "$2" && CMAKE_BUILD_PARALLEL_LEVEL=2 cpack -G DEB); } \
        >"$2.log" 2>&1 || { tail -40 "$2.log" >&2; fail "package build in $2"; }
}
# A player's build (scripts/setup.sh --play), and one inside a copy of the source.
build="$XS_TMP/build" copy="$XS_TMP/copy/vortana"
package "$src" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
mkdir -p "$copy" && tar -C "$src" --exclude='./build*' --exclude=./.git --exclude=./Testing -cf - . | tar -C "$copy" -xf -
package "$copy" "$copy/build-2" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_INSTALL_PREFIX=/opt/vortana

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
deb="$build/vortana_${version}_amd64.deb"
cmp "$deb" "$copy/build-2/${deb##*/}" || problem "two builds of the same source give different packages"

module="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/vortana/libvortana_sound.so"
expected="$XS_TMP/expected.txt"
{
    printf '%s\n' /usr/games/vortana "$module" /usr/share/vortana/suoni/{sparo,esplosi,laser}.wav /usr/share/man/man6/vortana.6.gz \
        /usr/share/{applications/$app_id.desktop,metainfo/$app_id.metainfo.xml,icons/hicolor/scalable/apps/$app_id.svg,doc/vortana/copyright,doc/vortana/changelog.gz}
    printf "/usr/share/icons/hicolor/%sx%s/apps/$app_id.png\n" 16 16 32 32 48 48 64 64 128 128 256 256
} | sort >"$expected"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort >"$XS_TMP/files.txt"
diff -u "$expected" "$XS_TMP/files.txt" >&2 || problem "the package's files differ from the expected ones"

# Linked (dpkg-shlibdeps, the sound module included) and loaded at run time.
depends="$(dpkg-deb -f "$deb" Depends)"
for pkg in libqt6widgets6 libqt6multimedia6 qt6-translations-l10n fonts-liberation2 fonts-dejavu-core qt6-qpa-plugins qt6-wayland libpulse0; do
    [[ ", $depends," == *", $pkg"[\ ,]* ]] || fail "Depends lacks $pkg"
done

lintian --fail-on error --display-level '>=warning' "$deb" 2>&1 || problem "lintian reports errors"

root="$XS_TMP/root" && dpkg-deb -x "$deb" "$root"
# Built with the flags of the release it is built on (Debian 13 adds two).
cache="$build/deb/CMakeCache.txt"
used=" $(sed -n 's/^CMAKE_\(CXX_FLAGS\|EXE_LINKER_FLAGS\):STRING=//p' "$cache" | tr '\n' ' ') "
for var in CXXFLAGS CPPFLAGS LDFLAGS; do
    for flag in $(cd "$src" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$var"); do
        [[ "$used" == *" $flag "* ]] || problem "the package was not built with $flag of dpkg-buildflags"
    done
done
# Every ELF file hardened, but: the linker keeps the control flow mark only
# if every object has it, and neither release's C start files do, so the
# game's own objects are looked at; branch protection is arm64's; Fortify
# has nothing to check in the library's own memcpy, memmove and memset.
skips=(--nocfprotection)
grep -q nobranchprotection "$(command -v hardening-check)" && skips+=(--nobranchprotection)
if grep -q '^CMAKE_CXX_FLAGS:STRING=.*-fcf-protection' "$cache"; then
    readelf -n "$build/deb/CMakeFiles/vortana.dir/src/main.cpp.o" | grep -q 'x86 feature: IBT, SHSTK' ||
        problem "-fcf-protection left no IBT and SHSTK mark on the game's objects"
fi
while IFS= read -r -d '' file; do
    cmp -s -n4 "$file" <(printf '\177ELF') || continue
    report="$(hardening-check --verbose "${skips[@]}" "$file")" ||
        ! grep -vE '\(ignored\)|^ Fortify Source functions: no, only unprotected|unprotected: mem(cpy|move|set)$' \
            <<<"$report" | grep -qE ': no|unprotected:' || { echo "$report" >&2; problem "${file#"$root"} is not hardened"; }
done < <(find "$root" -type f -print0)
((problems == 0)) || fail "$problems problems with the package"
desktop="$root/usr/share/applications/$app_id.desktop" metainfo="$root/usr/share/metainfo/$app_id.metainfo.xml"
timeout 60 desktop-file-validate "$desktop" || fail "desktop-file-validate"
timeout 60 appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -qx "Exec=/usr/games/vortana" "$desktop" || fail "the menu entry does not start /usr/games/vortana"
grep -qF "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"
# Qt Multimedia comes with the sound module: linked in, it would load before main().
readelf -d "$root/usr/games/vortana" | grep -q 'NEEDED.*libQt6Multimedia' && fail "the game links Qt Multimedia"

# --help and --version answer without any display (e2e_game checks the options refused).
game=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/games/vortana")
# In the C locale too, as in a bare root, where Qt 6.8 would warn on stderr.
[[ "$(LC_ALL=C "${game[@]}" --version 2>&1)" == "Vortana $version" ]] || fail "--version does not print Vortana $version alone"
[[ "$("${game[@]}" --help)" == *--version* ]] || fail "--help does not list --version"

xsession_run 150 1024x768x24 "$root" "$module"
echo "package test passed"
