#!/usr/bin/env bash
# Installs into a scratch prefix and checks what a desktop sees there: a
# valid menu entry and metainfo, the icons, and a binary that starts, takes
# its sound module and sounds from the prefix and quits cleanly.
# Usage: test_install.sh BUILD_DIR
set -euo pipefail
# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"
XS_WAIT=40
app_id=io.github.vortana.Vortana

if xsession_inside; then
    prefix="$1" module="$2"
    xsession_env
    # LeakSanitizer can't run under ptrace; the sanitizer build checks leaks elsewhere.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
    xsession_launch strace -f -qq -o "$XS_TMP/strace.log" -e trace=openat "$prefix/bin/vortana"
    xsession_enter_game Installata
    xsession_quit "$WIN"

    # opened PATH_END: the trace line of the first successful open of it.
    opened() { grep -nF "$1\", O_" "$XS_TMP/strace.log" | grep -v ENOENT | sed -n '1s/:.*//p' || true; }
    # The record files are opened once the prompt has its name; the sound
    # module must come after them, and from the prefix.
    at_module="$(opened "\"$module")" at_record="$(opened /avortana.txt)"
    [[ -n "$at_module" && -n "$at_record" ]] || fail "no opening of $module or of the record in the trace"
    ((at_module > at_record)) || fail "the sound module was loaded before the name prompt"
    for wav in sparo esplosi laser; do
        [[ -n "$(opened "\"$prefix/share/vortana/suoni/$wav.wav")" ]] || fail "$wav.wav not opened from the prefix"
    done
    echo "sound module and sounds taken from $prefix"
    exit 0
fi

build="$(cd "${1:?usage: test_install.sh BUILD_DIR}" && pwd)"
xsession_require strace readelf identify desktop-file-validate appstreamcli
xsession_tmpdir
prefix="$XS_TMP/prefix"
timeout 120 cmake --install "$build" --prefix "$prefix" >"$XS_TMP/install.log" ||
    { cat "$XS_TMP/install.log" >&2; fail "cmake --install"; }

desktop="$prefix/share/applications/$app_id.desktop"
timeout 60 desktop-file-validate "$desktop" || fail "desktop-file-validate"
timeout 60 appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli validate"
grep -qx 'Exec=vortana' "$desktop" || fail "the entry does not start vortana"
grep -qx "Icon=$app_id" "$desktop" || fail "the entry's icon is not $app_id"

# Qt Multimedia comes with the sound module: linked in, it would load before main().
libdir="$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")"
module="$prefix/${libdir:-lib}/vortana/libvortana_sound.so"
[[ -f "$module" ]] || fail "sound module $module not installed"
readelf -d "$prefix/bin/vortana" >"$XS_TMP/needed.txt" || fail "readelf bin/vortana"
grep -q 'NEEDED.*libQt6Multimedia' "$XS_TMP/needed.txt" && fail "bin/vortana links Qt Multimedia"

icons="$prefix/share/icons/hicolor"
grep -q '<svg' "$icons/scalable/apps/$app_id.svg" || fail "scalable icon missing"
for size in 16 32 48 64 128 256; do
    png="$icons/${size}x${size}/apps/$app_id.png"
    [[ "$(identify -format '%m %wx%h' "$png" 2>&1)" == "PNG ${size}x$size" ]] || fail "$png is not a ${size}px PNG"
done
echo "installed files validated"

xsession_run 150 1024x900x24 "$prefix" "$module"
echo "install test passed"
