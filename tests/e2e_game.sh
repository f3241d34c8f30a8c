#!/usr/bin/env bash
# The real program under openbox, played as a player would (CONTRIBUTING.md, Tests).
# Usage: e2e_game.sh path/to/vortana
set -euo pipefail
# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

bin="$(realpath "${1:?usage: e2e_game.sh path/to/vortana}")"
if ! xsession_inside; then
    # Without a display: Qt's own options pass with their values, anything else is refused.
    qt=(-reverse -widgetcount -testability -nograb -dograb)
    for o in platform platformpluginpath platformtheme plugin qwindowgeometry qwindowicon qwindowtitle session display geometry name title icon style stylesheet; do qt+=("-$o" x); done
    # Only the word after them all is left over: each took its value.
    [[ "$(env -u DISPLAY "$bin" "${qt[@]}" oltre 2>&1 >/dev/null; echo "rc $?")" == *"argomento inatteso 'oltre'"*"rc 2" ]] ||
        fail "Qt's options are refused, or lose their values"
    [[ "$(env -u DISPLAY "$bin" --nessuna 2>&1 >/dev/null; echo "rc $?")" == *"'nessuna'"*"Prova 'vortana --help'"*"rc 2" ]] || fail "an unknown option is not refused"
    xsession_require openbox xprop xwininfo import convert; xsession_run 170 1280x1024x24 "$bin"; exit
fi

xsession_env
openbox --sm-disable >"$XS_TMP/wm.log" 2>&1 &
xsession_until "openbox did not start" 10 eval "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'"

points="$XDG_DATA_HOME/vortana/avortana.txt" holder="$XDG_DATA_HOME/vortana/vortana.txt"
mkdir -p "$XDG_DATA_HOME/vortana"
printf -- '-5\r\n' >"$points"  # beaten by the untouched score 0

geometry() {  # ID: the client's "x y width height" on the screen
    xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
        /^ *Width:/{w=$NF} /^ *Height:/{h=$NF} END{print x, y, w, h}'
}
# The frame's centre, from the client's place and the frame's extents.
frame_centre() {
    local x y w h l r t b
    read -r x y w h < <(geometry "$1")
    read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)$/\1 \2 \3 \4/p')
    [[ -n "$b" ]] || { echo "no frame"; return; }
    echo "$(((2 * (x - l) + l + w + r) / 2)) $(((2 * (y - t) + t + h + b) / 2))"
}
# The window manager frames the window after it maps: give it a moment.
centred() { XS_LAST="$(frame_centre "$1")"; [[ $XS_LAST == "640 512" ]]; }
expect_centred() { xsession_until "frame not centred $2, expected (640 512)" 10 centred "$1"; XS_LAST=""; }  # ID WHEN
cyan() {  # ID: share of the window's pixels in the targets' cyan
    import -window "$1" png:- 2>/dev/null |
        convert png:- -fill black +opaque '#00FFFF' -fill white -opaque '#00FFFF' -format '%[fx:mean]' info:
}
click() {  # ID X Y: at that point of the 608 x 672 client area, below the menu
    local height
    read -r _ _ _ height < <(geometry "$1")
    timeout 20 xdotool mousemove --window "$1" "$2" $((height - 672 + $3)) click 1
}

xsession_launch "$bin"
xsession_enter_game Anna
main="$WIN"
read -r _ _ width height < <(geometry "$main")
((width == 608 && height >= 672)) || fail "game window is ${width}x$height, expected 608 wide, 672 high and a menu"
expect_centred "$main" "at start-up"

# A label ("Tempo restante", 8,128 to 113,153) keeps its click.
click "$main" 60 140
sleep 1.5
[[ "$(cyan "$main")" == 0 ]] || fail "targets shown before play, or a click on a label started it"
# A bare spot starts play. A click that came too early for the window is given again.
for ((look = 0; look < 75; ++look)); do
    ((look % 15)) || click "$main" 450 300
    sleep 0.2
    [[ "$(cyan "$main")" == 0 ]] || break
done
((look < 75)) || fail "a click on the window did not start play"

# Elsewhere, then "Nuovo gioco" by keys: Escape leaves the menu bar active, two
# steps right reach it. Keys that outran the drop-down are Escaped and tried again.
timeout 10 xdotool windowmove "$main" 20 30
WIN=""
for ((try = 0; try < 4 && ${#WIN} == 0; ++try)); do
    timeout 10 xdotool mousemove --window "$main" 20 8 click 1
    sleep 1
    xsession_press "$main" key Escape Right Right Return
    for ((look = 0; look < 40 && ${#WIN} == 0; ++look)); do
        sleep 0.25; WIN="$(xsession_windows '^INIZIARE NUOVA GARA$' | head -n 1)"
    done
    [[ -n "$WIN" ]] || xsession_press "$main" key Escape Escape Escape
done
[[ -n "$WIN" ]] || fail "no window for the new game question"
title="$(xprop -id "$WIN" _NET_WM_NAME | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p')"
[[ "$title" == "INIZIARE NUOVA GARA" ]] || fail "title bar reads '$title'"
xsession_press "$WIN" key Left Return  # Yes; No is the default
xsession_wait_gone "$main" "the game window, unloaded"
XS_SEEN=""  # it comes back under its old id
xsession_enter_game Bea
expect_centred "$WIN" "after Nuovo gioco"

expect_record() {  # NAME WHEN
    { cmp -s "$points" <(printf '0\r\n') && cmp -s "$holder" <(printf '%s\r\n' "$1"); } || fail "record $2: $(od -An -c "$points" "$holder")"
}
# Bea's 0 beats -5. Alt+F4 (openbox closes the window) ends the game as Exit
# does: the farewell, the record saved byte for byte, its confirmation.
XS_QUIT_KEYS=alt+F4 xsession_quit "$WIN" "the record confirmation"
expect_record Bea "after Alt+F4"

# SIGTERM in play, as at a logout: Cleo's 0 beats -4, saved with no box.
printf -- '-4\r\n' >"$points"
xsession_launch "$bin"
xsession_enter_game Cleo
kill -TERM "$XS_GAME"
xsession_wait_exit "SIGTERM" 5
[[ -z "$(xsession_windows)" ]] || fail "a window stayed open at the session's end"
expect_record Cleo "after SIGTERM"

# A session's end behind the name prompt (SIGHUP: the terminal closed) and the greeting.
xsession_launch "$bin"
xsession_next_window "the name prompt"
kill -HUP "$XS_GAME"
xsession_wait_exit "SIGHUP at the name prompt" 5
xsession_launch "$bin"
xsession_answer "the name prompt" type --delay 50 Dario
xsession_press "$WIN" key Return
xsession_next_window "the greeting"
kill -TERM "$XS_GAME"
xsession_wait_exit "SIGTERM at the greeting" 5
# A save that fails at the session's end (the name file now a folder), and
# a session's end behind the error box that such a folder brings at start-up.
printf -- '-4\r\n' >"$points"
xsession_launch "$bin"
xsession_enter_game Ezio
rm "$holder" && mkdir "$holder"
kill -TERM "$XS_GAME"
xsession_wait_exit "SIGTERM, the save failed" 5 1
xsession_launch "$bin"
xsession_answer "the name prompt" key Return
xsession_answer "the greeting" key Return
xsession_next_window "the error box"
kill -TERM "$XS_GAME"
xsession_wait_exit "SIGTERM behind the error box" 5 1
cmp -s "$points" <(printf -- '-4\r\n') || fail "the record changed: $(od -An -c "$points")"
echo "e2e_game: exact titles, a centred frame, clicks as the player meets them, the record saved by Alt+F4 and at the session's end, which ends the game behind any box"
