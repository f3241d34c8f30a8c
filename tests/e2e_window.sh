#!/usr/bin/env bash
# The real program under a window manager (openbox), as the player sees it:
# each title bar reads exactly its own title, and the whole frame sits in
# the middle of the screen at start-up and again after "Nuovo gioco".
# Usage: e2e_window.sh path/to/vortana
set -euo pipefail
# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

bin="$(realpath "${1:?usage: e2e_window.sh path/to/vortana}")"
xsession_inside || { xsession_require openbox xprop xwininfo; xsession_run 150 1280x1024x24 "$bin"; exit; }

xsession_env
openbox --sm-disable >"$XS_TMP/wm.log" 2>&1 &
for ((i = 0; i < 100; ++i)); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
((i < 100)) || fail "openbox did not start: $(cat "$XS_TMP/wm.log")"

# What the window manager draws in the title bar.
expect_title() {  # ID TITLE
    local got
    got="$(xprop -id "$1" _NET_WM_NAME | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p')"
    [[ "$got" == "$2" ]] || fail "title bar reads '$got', expected '$2'"
}

# The frame's centre, from the client's place and the frame's extents.
frame_centre() {
    local x y w h l r t b
    read -r x y w h < <(xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
        /^ *Width:/{w=$NF} /^ *Height:/{h=$NF} END{print x, y, w, h}')
    read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)$/\1 \2 \3 \4/p')
    [[ -n "$b" ]] || { echo "no frame"; return; }
    echo "$(((2 * (x - l) + l + w + r) / 2)) $(((2 * (y - t) + t + h + b) / 2))"
}
# The window manager frames the window after it maps: give it a moment.
expect_centred() {  # ID WHEN
    local deadline=$((SECONDS + 10)) at=""
    while ((SECONDS < deadline)); do
        at="$(frame_centre "$1")"
        [[ "$at" == "640 512" ]] && return 0
        sleep 0.2
    done
    fail "frame centred at ($at) $2, expected (640 512)"
}

# Windows are found by their exact title (xsession_windows).
xsession_launch "$bin"
xsession_enter_game Ada
main="$WIN"
expect_centred "$main" "at start-up"

# Elsewhere, then "Nuovo gioco" from the keyboard: Escape leaves the menu
# bar active after the first drop-down, two steps right reach the item.
timeout 10 xdotool windowmove "$main" 20 30
timeout 10 xdotool mousemove --window "$main" 20 8 click 1
sleep 0.5
xsession_press "$main" key Escape Right Right Return
xsession_next_window "the new game question" "INIZIARE NUOVA GARA"
expect_title "$WIN" "INIZIARE NUOVA GARA"
xsession_press "$WIN" key Left Return  # Yes; No is the default
xsession_wait_gone "$main" "the game window, unloaded"
XS_SEEN=""  # it comes back under its old id
xsession_enter_game Bea
expect_centred "$WIN" "after Nuovo gioco"
xsession_quit "$WIN"
echo "e2e_window: exact titles, frame centred at start-up and after a new game"
