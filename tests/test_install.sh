#!/usr/bin/env bash
# Installs the game into a scratch prefix and checks what a desktop sees
# there: a valid menu entry and metainfo, the icons, and an installed
# binary that starts, finds its sound module and sounds under the prefix
# and quits cleanly.
# Usage: test_install.sh BUILD_DIR
set -euo pipefail
# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"
XS_WAIT=40

app_id=io.github.vortana.Vortana

# ---- the part that runs inside the X server (see the end of the file)
if xsession_inside; then
    prefix="$1" module="$2"
    xsession_env
    # LeakSanitizer can't run under ptrace; the sanitizer build checks
    # leaks in every other test.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

    xsession_launch strace -f -qq -o "$XS_TMP/strace.log" -e trace=openat,stat,access,newfstatat,statx \
        "$prefix/bin/vortana"
    xsession_enter_game Installata
    main="$WIN"
    eval "$(xdotool getwindowgeometry --shell "$main")"
    ((WIDTH >= 600 && HEIGHT >= 672)) || fail "game window is ${WIDTH}x${HEIGHT}, expected at least 608x672 plus the menu"
    echo "game window ${WIDTH}x${HEIGHT} is up"

    # The record folder comes from XDG_DATA_HOME, created at start-up.
    for f in avortana.txt vortana.txt; do
        [[ -f "$XDG_DATA_HOME/vortana/$f" ]] || fail "record file $f not created under XDG_DATA_HOME"
    done

    # Alt+X is the exit button; its farewell box takes the Enter.
    xsession_press "$main" key alt+x
    xsession_answer "the farewell box" key Return
    xsession_wait_exit "the farewell box"
    echo "installed game ended with status 0"

    # opened PATH_END: the trace line of the first successful open of it.
    opened() {
        grep -nF "$1\", O_" "$XS_TMP/strace.log" | grep -F openat | grep -v ENOENT | sed -n '1s/:.*//p' || true
    }
    # The sound module comes from the prefix, and only once the name has
    # been given: after the record files, which the name prompt precedes.
    at_module="$(opened "\"$module")"
    [[ -n "$at_module" ]] || fail "the installed game never loaded $module"
    at_record="$(opened /avortana.txt)"
    [[ -n "$at_record" ]] || fail "no record file opening in the trace"
    ((at_module > at_record)) || fail "the sound module was loaded before the name prompt"
    echo "sound module loaded from $module after the name prompt"

    # The module preloads all three sounds once the window is up; they must
    # come from the prefix the game was installed into, not the build tree.
    suoni="$prefix/share/vortana/suoni"
    for wav in sparo.wav esplosi.wav laser.wav; do
        [[ -n "$(opened "\"$suoni/$wav")" ]] || fail "the installed game never opened $suoni/$wav"
    done
    echo "sounds opened from $suoni"
    exit 0
fi

# ---- outside: install, validate, then start the X part
build="$(cd "${1:?usage: test_install.sh BUILD_DIR}" && pwd)"
xsession_tmpdir
prefix="$XS_TMP/prefix"

timeout 120 cmake --install "$build" --prefix "$prefix" >"$XS_TMP/install.log" || {
    cat "$XS_TMP/install.log" >&2
    fail "cmake --install"
}

desktop="$prefix/share/applications/$app_id.desktop"
metainfo="$prefix/share/metainfo/$app_id.metainfo.xml"
[[ -f "$desktop" && -f "$metainfo" ]] || fail "desktop entry or metainfo not installed"
timeout 60 desktop-file-validate "$desktop" || fail "desktop-file-validate"
timeout 60 appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"

# The entry must start what was installed, with the icon that was installed.
grep -qx 'Exec=vortana' "$desktop" || fail "Exec is not vortana"
grep -qx "Icon=$app_id" "$desktop" || fail "Icon is not $app_id"
[[ -x "$prefix/bin/vortana" ]] || fail "bin/vortana not installed"
# Qt Multimedia and the audio stack behind it come with the sound module,
# not with the game: linked in, they would be loaded before main().
libdir="$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")"
module="$prefix/${libdir:-lib}/vortana/libvortana_sound.so"
[[ -f "$module" ]] || fail "sound module $module not installed"
readelf -d "$prefix/bin/vortana" >"$XS_TMP/needed.txt" || fail "readelf bin/vortana"
grep -q 'NEEDED.*libQt6Multimedia' "$XS_TMP/needed.txt" && fail "bin/vortana links Qt Multimedia"

icons="$prefix/share/icons/hicolor"
grep -q '<svg' "$icons/scalable/apps/$app_id.svg" || fail "scalable icon missing"
for size in 16 32 48 64 128 256; do
    png="$icons/${size}x${size}/apps/$app_id.png"
    [[ -f "$png" ]] || fail "icon $png missing"
    # PNG signature, then IHDR width and height as big-endian words.
    read -r -a head <<<"$(od -An -v -tu1 -N24 "$png" | tr '\n' ' ')"
    [[ "${head[1]}${head[2]}${head[3]}" == "807871" ]] || fail "$png is not a PNG"
    w=$(((head[16] << 24) | (head[17] << 16) | (head[18] << 8) | head[19]))
    h=$(((head[20] << 24) | (head[21] << 16) | (head[22] << 8) | head[23]))
    ((w == size && h == size)) || fail "$png is ${w}x${h}"
done
for wav in sparo.wav esplosi.wav laser.wav; do
    [[ -s "$prefix/share/vortana/suoni/$wav" ]] || fail "sound $wav not installed"
done
echo "installed files validated"

xsession_run 150 1024x900x24 "$prefix" "$module"
echo "install test passed"
