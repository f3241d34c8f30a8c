#!/usr/bin/env bash
# The real program, driven by keys and clicks: a game that beats the stored
# record saves it; the next, scoring only as much, leaves the files alone.
# Usage: e2e_record.sh path/to/vortana
set -euo pipefail
# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

bin="$(realpath "${1:?usage: e2e_record.sh path/to/vortana}")"
xsession_inside || { xsession_require import convert; xsession_run 170 1280x1024x24 "$bin"; exit; }

xsession_env
points="$XDG_DATA_HOME/vortana/avortana.txt" holder="$XDG_DATA_HOME/vortana/vortana.txt"
mkdir -p "$XDG_DATA_HOME/vortana"
printf -- '-5\r\n' >"$points"  # beaten by the untouched score 0

# Share of the window's pixels in the targets' cyan.
cyan() {
    import -window "$1" png:- 2>/dev/null |
        convert png:- -fill black +opaque '#00FFFF' -fill white -opaque '#00FFFF' -format '%[fx:mean]' info:
}
# expect_record POINTS NAME: the files byte for byte.
expect_record() {
    cmp -s "$points" <(printf '%s\r\n' "$1") || fail "points file: $(od -An -c "$points")"
    cmp -s "$holder" <(printf '%s\r\n' "$2") || fail "name file: $(od -An -c "$holder")"
}

xsession_launch "$bin"
xsession_enter_game Anna
main="$WIN"
eval "$(xdotool getwindowgeometry --shell "$main")"
xsession_focus "$main"
[[ "$(cyan "$main")" == 0 ]] || fail "targets shown before play started"
client_y=$((Y + HEIGHT - 672))
# A label ("Tempo restante", 8,128 to 113,153 of the client area) keeps
# its click: play does not start.
timeout 20 xdotool mousemove --sync $((X + 60)) $((client_y + 140)) click 1
sleep 1.5
[[ "$(cyan "$main")" == 0 ]] || fail "a click on a label started play"
# A bare spot does. A click that came too early for the window is given again.
started=0
for ((try = 0; try < 5 && !started; ++try)); do
    timeout 20 xdotool mousemove --sync $((X + 450)) $((client_y + 300)) click 1
    for ((look = 0; look < 15 && !started; ++look)); do
        sleep 0.2
        [[ "$(cyan "$main")" == 0 ]] || started=1
    done
done
((started)) || fail "a click on the window did not start play"
xsession_quit "$main" "the record confirmation"
expect_record 0 Anna

# 0 now only equals the record: nothing is written, nothing asks.
xsession_launch "$bin"
xsession_enter_game Bea
xsession_quit "$WIN"
expect_record 0 Anna
echo "e2e_record: record saved by the first game and kept by the second"
