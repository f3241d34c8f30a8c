#!/usr/bin/env bash
# The real program under a virtual X server, driven by keys and clicks: a
# game that beats the stored record saves it, and the next start reads it
# and, with a score that only equals it, leaves the files alone.
# Usage: e2e_record.sh path/to/vortana
set -euo pipefail
# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

bin="$(realpath "${1:?usage: e2e_record.sh path/to/vortana}")"
if ! xsession_inside; then
    xsession_require import convert
    xsession_run 170 1280x1024x24 "$bin"
    exit
fi

xsession_env
points="$XDG_DATA_HOME/vortana/avortana.txt"
holder="$XDG_DATA_HOME/vortana/vortana.txt"
mkdir -p "$XDG_DATA_HOME/vortana"
# A record of -5, so that the untouched score 0 beats it.
printf -- '-5\r\n' >"$points"

# Share of the window's pixels in the targets' cyan.
cyan() {
    import -window "$1" png:- 2>/dev/null |
        convert png:- -fill black +opaque '#00FFFF' -fill white -opaque '#00FFFF' -format '%[fx:mean]' info:
}

# Starts the program and answers the prompt and the greeting; leaves the
# game window's id, place and height in MAIN, MAIN_X, MAIN_Y and MAIN_H.
start_game() {
    xsession_launch "$bin"
    xsession_enter_game "$1"
    eval "$(xdotool getwindowgeometry --shell "$WIN")"
    ((WIDTH > 500 && HEIGHT > 400)) || fail "the game window is ${WIDTH}x$HEIGHT"
    MAIN="$WIN" MAIN_X="$X" MAIN_Y="$Y" MAIN_H="$HEIGHT"
}

# First game: a click on the window starts play, Alt+X ends it.
start_game Anna
xsession_focus "$MAIN"
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
xsession_press "$MAIN" key alt+x
xsession_answer "the farewell" key Return
xsession_answer "the record confirmation" key Return
xsession_wait_exit "the saved record"
[[ "$(od -An -c "$points")" == "$(printf '0\r\n' | od -An -c)" ]] || fail "points file: $(od -An -c "$points")"
[[ "$(od -An -c "$holder")" == "$(printf 'Anna\r\n' | od -An -c)" ]] || fail "name file: $(od -An -c "$holder")"

# Second game: 0 only equals the record, so nothing is written and no
# confirmation holds the program up.
start_game Bea
xsession_press "$MAIN" key alt+x
xsession_answer "the farewell" key Return
xsession_wait_exit "the farewell without a record"
[[ "$(od -An -c "$points")" == "$(printf '0\r\n' | od -An -c)" ]] || fail "points file changed: $(od -An -c "$points")"
[[ "$(od -An -c "$holder")" == "$(printf 'Anna\r\n' | od -An -c)" ]] || fail "name file changed: $(od -An -c "$holder")"

echo "e2e_record: record saved by the first game and kept by the second"
