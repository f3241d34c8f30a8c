#!/usr/bin/env bash
# Installs the game into a scratch prefix and checks what a desktop sees
# there: a valid menu entry and metainfo, the icons, and an installed
# binary that starts, finds its sounds under the prefix and quits cleanly.
# Usage: test_install.sh BUILD_DIR
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }

app_id=io.github.vortana.Vortana

# ---- the part that runs inside the X server (see the end of the file)
if [[ "${1:-}" == --inside ]]; then
    prefix="$2" work="$3"
    game=""
    # Killing strace alone would only detach it: end the traced game first.
    # shellcheck disable=SC2317  # run by the EXIT trap
    stop_game() {
        [[ -n "$game" ]] || return 0
        local child
        for child in $(ps -o pid= --ppid "$game" 2>/dev/null); do kill "$child" 2>/dev/null || true; done
        kill "$game" 2>/dev/null || true
    }
    trap stop_game EXIT

    # Visible top-level windows titled exactly "Vortana", except the given ids.
    # The prompt, the message boxes and the game window all carry that title.
    wait_window() {
        local deadline=$((SECONDS + 40)) id skip
        while ((SECONDS < deadline)); do
            kill -0 "$game" 2>/dev/null || fail "the game ended early"
            for id in $(xdotool search --onlyvisible --name '^Vortana$' 2>/dev/null); do
                for skip in "$@"; do [[ "$id" == "$skip" ]] && continue 2; done
                echo "$id"
                return 0
            done
            sleep 0.2
        done
        fail "no new window titled Vortana within 40 s"
    }
    wait_gone() {
        local deadline=$((SECONDS + 40))
        while ((SECONDS < deadline)); do
            xdotool search --onlyvisible --name '^Vortana$' 2>/dev/null | grep -qx "$1" || return 0
            sleep 0.2
        done
        fail "window $1 did not close"
    }
    press() {  # focus a window, then send real key events to it
        timeout 10 xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
        sleep 0.3
        shift
        timeout 20 xdotool "$@"
    }

    export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
    mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    unset QT_QPA_PLATFORM
    # No session bus: otherwise libdbus autolaunches a daemon, which strace -f
    # follows and waits for until the X server goes away.
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
    export QT_LOGGING_RULES="qt.multimedia*=false"
    # LeakSanitizer can't run under ptrace; the sanitizer build checks
    # leaks in every other test.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

    strace -f -qq -o "$work/strace.log" -e trace=openat,stat,access,newfstatat,statx \
        "$prefix/bin/vortana" >"$work/game.log" 2>&1 &
    game=$!

    prompt=$(wait_window)
    press "$prompt" type --delay 50 "Installata"
    press "$prompt" key Return
    wait_gone "$prompt"

    greeting=$(wait_window)
    press "$greeting" key Return
    wait_gone "$greeting"

    main=$(wait_window)
    eval "$(xdotool getwindowgeometry --shell "$main")"
    ((WIDTH >= 600 && HEIGHT >= 672)) || fail "game window is ${WIDTH}x${HEIGHT}, expected at least 608x672 plus the menu"
    echo "game window ${WIDTH}x${HEIGHT} is up"

    # The record folder comes from XDG_DATA_HOME, created at start-up.
    for f in avortana.txt vortana.txt; do
        [[ -f "$XDG_DATA_HOME/vortana/$f" ]] || fail "record file $f not created under XDG_DATA_HOME"
    done

    # Alt+X is the exit button; its farewell box takes the Enter.
    press "$main" key alt+x
    farewell=$(wait_window "$main")
    press "$farewell" key Return

    status=0
    timeout 30 tail --pid="$game" -f /dev/null || fail "the game did not end after the farewell"
    wait "$game" || status=$?
    game=""
    ((status == 0)) || { cat "$work/game.log" >&2; fail "exit status $status"; }
    echo "installed game ended with status 0"

    # QSoundEffect loads all three sounds at start; they must come from the
    # prefix the game was installed into, not from the build tree.
    suoni="$prefix/share/vortana/suoni"
    for wav in sparo.wav esplosi.wav laser.wav; do
        grep -F "\"$suoni/$wav\", O_RDONLY" "$work/strace.log" | grep -F openat | grep -qv ENOENT ||
            fail "the installed game never opened $suoni/$wav"
    done
    echo "sounds opened from $suoni"
    exit 0
fi

# ---- outside: install, validate, then start the X part
build="$(cd "${1:?usage: test_install.sh BUILD_DIR}" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
prefix="$tmp/prefix"

timeout 120 cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" || {
    cat "$tmp/install.log" >&2
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

# xvfb-run keeps its scratch folder under TMPDIR: ours, so nothing else sweeps it.
TMPDIR="$tmp" timeout 150 xvfb-run -a -s "-screen 0 1024x900x24" bash "${BASH_SOURCE[0]}" --inside "$prefix" "$tmp"
echo "install test passed"
