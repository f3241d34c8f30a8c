#!/usr/bin/env bash
# Takes docs/screenshot.png: a game in play, on a virtual X server, with a
# stored record of 12 by Giulia. Builds nothing: run scripts/setup.sh (or
# point BUILD_DIR at a build) first. Needs xvfb-run, xdotool and ImageMagick.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=SCRIPTDIR/../tests/xsession.sh
source "$root/tests/xsession.sh"
XS_WAIT=40

if xsession_inside; then
    game_bin="$1" out="$2"
    xsession_env
    # The record as the game writes it: the score text as shown after a hit.
    mkdir -p "$XDG_DATA_HOME/vortana"
    printf ' 12\r\n' >"$XDG_DATA_HOME/vortana/avortana.txt"
    printf 'Giulia\r\n' >"$XDG_DATA_HOME/vortana/vortana.txt"

    xsession_launch "$game_bin"
    xsession_enter_game Marco
    main="$WIN"

    # "Clicca per iniziare" is disabled: its click is the window's, which starts play.
    eval "$(xdotool getwindowgeometry --shell "$main")"
    menu=$((HEIGHT - 672))
    timeout 20 xdotool mousemove --window "$main" 307 $((menu + 24)) click 1
    timeout 20 xdotool mousemove --window "$main" 590 $((HEIGHT - 8))  # keep the pointer off the picture
    sleep 2.5

    eval "$(xdotool getwindowgeometry --shell "$main")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"

    xsession_press "$main" key alt+x
    xsession_answer "the farewell box" key Return
    xsession_wait_exit "the farewell box"
    echo "screenshot: wrote $out (${WIDTH}x${HEIGHT})"
    exit 0
fi

out="${1:-$root/docs/screenshot.png}"
build="$(realpath -m "${BUILD_DIR:-$root/build}")"
[[ -x "$build/vortana" ]] || fail "no game at $build/vortana; run scripts/setup.sh first"
xsession_require import
mkdir -p "$(dirname "$out")"
xsession_run 120 800x800x24 "$build/vortana" "$(cd "$(dirname "$out")" && pwd)/$(basename "$out")"
