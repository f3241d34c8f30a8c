#!/usr/bin/env bash
# The real program on Qt's Wayland platform inside weston, from the first
# start to Alt+X: the prompt, the greeting, the window with the player's
# name in it, and the record files made empty and left so by a score of 0.
# Usage: e2e_wayland.sh path/to/vortana
set -euo pipefail
# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"
# shellcheck source=SCRIPTDIR/wlsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/wlsession.sh"

bin="$(realpath "${1:?usage: e2e_wayland.sh path/to/vortana}")"
xsession_inside || { xsession_require weston weston-debug dbus-daemon import; xsession_run 110 1024x768x24 "$bin"; exit; }

xsession_env
empty_records() {
    local f
    for f in "$XDG_DATA_HOME"/vortana/{avortana,vortana}.txt; do
        [[ -f "$f" && ! -s "$f" ]] || fail "record file $f missing or not empty $1"
    done
}

wlsession_start
xsession_launch "$bin"
wlsession_answer dialog "Come ti chiami?" type --delay 50 Ada
wlsession_answer dialog "Come ti chiami?" key Return
wlsession_answer alert "Ada vediamo se sei un vero campione" key Return
# The name in its own green (lblnome1), drawn where the game says its label is.
wlsession_look frame Ada --ink 008000
read -r _ _ WIDTH HEIGHT <<<"$LOOK"
((WIDTH == 608 && HEIGHT >= 672)) || fail "game window is ${WIDTH}x$HEIGHT, expected 608 wide, 672 high and a menu"
empty_records "after start-up"

wlsession_answer frame Ada key alt+x
wlsession_answer alert "Ciao a presto!" key Return
xsession_wait_exit "the farewell box"
empty_records "after the exit"
echo "e2e_wayland: ok"
