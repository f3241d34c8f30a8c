#!/usr/bin/env bash
# The real program under a virtual X server, driven by keys and clicks: a
# game that beats the stored record saves it, and the next start reads it
# and, with a score that only equals it, leaves the files alone.
# Usage: e2e_record.sh path/to/vortana
set -euo pipefail

bin="$(realpath "${1:?usage: e2e_record.sh path/to/vortana}")"

if [[ -z "${E2E_RECORD_DISPLAY:-}" ]]; then
    for tool in xvfb-run xdotool import convert; do
        command -v "$tool" >/dev/null || { echo "e2e_record: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
    done
    exec env E2E_RECORD_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$bin"
fi

tmp="$(mktemp -d)"
pid=""
cleanup() {
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

export QT_QPA_PLATFORM=xcb
export QT_LOGGING_RULES='qt.multimedia*=false'
export XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache"
export XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$XDG_DATA_HOME/vortana" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
points="$XDG_DATA_HOME/vortana/avortana.txt"
holder="$XDG_DATA_HOME/vortana/vortana.txt"
# A record of -5, so that the untouched score 0 beats it.
printf -- '-5\r\n' >"$points"

fail() {
    echo "e2e_record: $*" >&2
    echo "--- program output:" >&2
    cat "$tmp/out" >&2 2>/dev/null || true
    exit 1
}

seen=""
# Waits for a window titled "Vortana" that has not shown up before and
# leaves its id in WIN.
next_window() {
    local deadline=$((SECONDS + 30)) id
    while ((SECONDS < deadline)); do
        for id in $(xdotool search --onlyvisible --name '^Vortana$' 2>/dev/null); do
            if [[ " $seen " != *" $id "* ]]; then
                seen+=" $id"
                WIN="$id"
                return 0
            fi
        done
        kill -0 "$pid" 2>/dev/null || fail "the program ended early while waiting for $1"
        sleep 0.2
    done
    fail "no window for $1"
}

focus() {
    timeout 10 xdotool windowfocus --sync "$1" || fail "cannot focus window $1"
    sleep 0.3
}

# Answers a dialog that should appear next with the given keys.
answer() {
    local what="$1"
    shift
    next_window "$what"
    focus "$WIN"
    xdotool "$@"
}

wait_exit() {
    local deadline=$((SECONDS + 30)) rc=0
    while kill -0 "$pid" 2>/dev/null; do
        ((SECONDS < deadline)) || fail "the program did not end after $1"
        sleep 0.2
    done
    wait "$pid" || rc=$?
    pid=""
    ((rc == 0)) || fail "exit status $rc after $1"
}

# Share of the window's pixels in the targets' cyan.
cyan() {
    import -window "$1" png:- 2>/dev/null |
        convert png:- -fill black +opaque '#00FFFF' -fill white -opaque '#00FFFF' -format '%[fx:mean]' info:
}

# Starts the program and answers the prompt and the greeting; leaves the
# game window's id, place and height in MAIN, MAIN_X, MAIN_Y and MAIN_H.
start_game() {
    seen=""
    "$bin" >"$tmp/out" 2>&1 &
    pid=$!
    answer "the name prompt" type --delay 60 "$1"
    xdotool key Return
    answer "the greeting" key Return
    next_window "the game window"
    eval "$(xdotool getwindowgeometry --shell "$WIN")"
    ((WIDTH > 500 && HEIGHT > 400)) || fail "the game window is ${WIDTH}x$HEIGHT"
    MAIN="$WIN" MAIN_X="$X" MAIN_Y="$Y" MAIN_H="$HEIGHT"
}

# First game: a click on the window starts play, Alt+X ends it.
start_game Anna
focus "$MAIN"
[[ "$(cyan "$MAIN")" == 0 ]] || fail "targets shown before play started"
# The click goes to the label "Tempo restante" (8,128 to 113,153 in the
# 672 pixel high client area, below the menu bar): it passes clicks to the
# window and lies above every target, so no target can catch the click.
# Play has started once targets show up; a click that came too early for
# the window is given again.
started=0
for ((try = 0; try < 5 && !started; ++try)); do
    xdotool mousemove --sync $((MAIN_X + 60)) $((MAIN_Y + MAIN_H - 672 + 140)) click 1
    for ((look = 0; look < 15; ++look)); do
        sleep 0.2
        [[ "$(cyan "$MAIN")" == 0 ]] || { started=1; break; }
    done
done
((started)) || fail "a click on the window did not start play"
focus "$MAIN"
xdotool key alt+x
answer "the farewell" key Return
answer "the record confirmation" key Return
wait_exit "the saved record"
[[ "$(od -An -c "$points")" == "$(printf '0\r\n' | od -An -c)" ]] || fail "points file: $(od -An -c "$points")"
[[ "$(od -An -c "$holder")" == "$(printf 'Anna\r\n' | od -An -c)" ]] || fail "name file: $(od -An -c "$holder")"

# Second game: 0 only equals the record, so nothing is written and no
# confirmation holds the program up.
start_game Bea
focus "$MAIN"
xdotool key alt+x
answer "the farewell" key Return
wait_exit "the farewell without a record"
[[ "$(od -An -c "$points")" == "$(printf '0\r\n' | od -An -c)" ]] || fail "points file changed: $(od -An -c "$points")"
[[ "$(od -An -c "$holder")" == "$(printf 'Anna\r\n' | od -An -c)" ]] || fail "name file changed: $(od -An -c "$holder")"

echo "e2e_record: record saved by the first game and kept by the second"
