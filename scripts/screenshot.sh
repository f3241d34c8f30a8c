#!/usr/bin/env bash
# Takes docs/screenshot.png: a game in play, on a virtual X server, with a
# stored record of 12 by Giulia. Builds nothing: run scripts/setup.sh (or
# point BUILD_DIR at a build) first. Needs xvfb-run, xdotool and ImageMagick.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:-$root/docs/screenshot.png}"

if [[ "${1:-}" == --inside ]]; then
    game_bin="$2" out="$3" work="$4"
    game=""
    trap '[[ -n "$game" ]] && kill "$game" 2>/dev/null; true' EXIT

    # A visible window titled "Vortana" other than the given ones.
    wait_window() {
        local deadline=$((SECONDS + 40)) id skip
        while ((SECONDS < deadline)); do
            kill -0 "$game" 2>/dev/null || { echo "screenshot: the game ended early" >&2; exit 1; }
            for id in $(xdotool search --onlyvisible --name '^Vortana$' 2>/dev/null); do
                for skip in "$@"; do [[ "$id" == "$skip" ]] && continue 2; done
                echo "$id"
                return 0
            done
            sleep 0.2
        done
        echo "screenshot: no window titled Vortana came up" >&2
        exit 1
    }
    wait_gone() {
        local deadline=$((SECONDS + 40))
        while ((SECONDS < deadline)); do
            xdotool search --onlyvisible --name '^Vortana$' 2>/dev/null | grep -qx "$1" || return 0
            sleep 0.2
        done
        echo "screenshot: window $1 stayed open" >&2
        exit 1
    }
    press() {
        timeout 10 xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
        sleep 0.3
        shift
        timeout 20 xdotool "$@"
    }

    export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
    mkdir -p "$XDG_DATA_HOME/vortana" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    # The record as the game writes it: the score text as shown after a hit.
    printf ' 12\r\n' >"$XDG_DATA_HOME/vortana/avortana.txt"
    printf 'Giulia\r\n' >"$XDG_DATA_HOME/vortana/vortana.txt"
    unset QT_QPA_PLATFORM
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"  # no autolaunched bus to outlive us
    export QT_LOGGING_RULES="qt.multimedia*=false"

    "$game_bin" >"$work/game.log" 2>&1 &
    game=$!

    prompt=$(wait_window)
    press "$prompt" type --delay 40 "Marco"
    press "$prompt" key Return
    wait_gone "$prompt"
    greeting=$(wait_window)
    press "$greeting" key Return
    wait_gone "$greeting"
    main=$(wait_window)

    # "Clicca per iniziare" is disabled: its click is the window's, which starts play.
    eval "$(xdotool getwindowgeometry --shell "$main")"
    menu=$((HEIGHT - 672))
    timeout 20 xdotool mousemove --window "$main" 307 $((menu + 24)) click 1
    timeout 20 xdotool mousemove --window "$main" 590 $((HEIGHT - 8))  # keep the pointer off the picture
    sleep 2.5

    eval "$(xdotool getwindowgeometry --shell "$main")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"

    press "$main" key alt+x
    farewell=$(wait_window "$main")
    press "$farewell" key Return
    timeout 30 tail --pid="$game" -f /dev/null || true
    game=""
    echo "screenshot: wrote $out (${WIDTH}x${HEIGHT})"
    exit 0
fi

build="$(realpath -m "${BUILD_DIR:-$root/build}")"
[[ -x "$build/vortana" ]] || { echo "screenshot: no game at $build/vortana; run scripts/setup.sh first" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
# xvfb-run keeps its own scratch folder under TMPDIR: ours, so nothing else sweeps it.
TMPDIR="$tmp" timeout 120 xvfb-run -a -s "-screen 0 800x800x24" \
    bash "${BASH_SOURCE[0]}" --inside "$build/vortana" "$(cd "$(dirname "$out")" && pwd)/$(basename "$out")" "$tmp"
