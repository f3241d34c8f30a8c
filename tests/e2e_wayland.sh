#!/usr/bin/env bash
# The real program on Qt's Wayland platform inside weston, from the first
# start to Alt+X, the record files made empty and left so by a score of 0.
# Weston's X11 backend on our Xvfb: its headless one has no seat, without
# which Qt 6.4's Wayland client crashes. Keys go through xdotool to weston's
# window, which hands them on; wl_look.py reads AT-SPI on our own bus.
# Usage: e2e_wayland.sh path/to/vortana
set -euo pipefail
# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

bin="$(realpath "${1:?usage: e2e_wayland.sh path/to/vortana}")"
xsession_inside || { xsession_require weston weston-debug dbus-daemon import; xsession_run 110 1024x768x24 "$bin"; exit; }

xsession_env
WL_PIDS=()
trap 'xsession_stop_game; kill "${WL_PIDS[@]}" 2>/dev/null || true' EXIT

dbus-daemon --session --nofork --print-address=1 >"$XS_TMP/bus" 2>"$XS_TMP/bus.log" &
WL_PIDS+=($!)
eval "$(xdotool getdisplaygeometry --shell)"
# No on-screen keyboard: as an input method it would take the keys first.
printf '[input-method]\npath=\n' >"$XS_TMP/weston.ini"
weston --backend=x11-backend.so --use-pixman --width="$WIDTH" --height="$HEIGHT" --socket=vortana-test \
    --config="$XS_TMP/weston.ini" --debug --log="$XS_TMP/weston.log" &
WL_PIDS+=($!)
up() { [[ -S "$XDG_RUNTIME_DIR/vortana-test" && -s "$XS_TMP/bus" ]] && out="$(xdotool search --class '^Weston Compositor$')"; }
xsession_until "weston or the session bus did not start" "$XS_WAIT" up
timeout 10 xdotool windowfocus --sync "${out%%$'\n'*}" || fail "cannot focus weston's window"
DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$XS_TMP/bus")"
export DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY=vortana-test QT_QPA_PLATFORM=wayland QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

# look ROLE TEXT [--ink RRGGBB]: waits for that window on top; "x y width height" in LOOK.
look() { LOOK="$(/usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/wl_look.py" --timeout "$XS_WAIT" "$@")" || fail "no $1 reading \"$2\""; }
# answer ROLE TEXT XDOTOOL-ARGS...: that window, given the keys.
answer() { look "$1" "$2"; timeout 20 xdotool "${@:3}" || fail "xdotool ${*:3} to the $1 \"$2\""; }
empty_records() {
    for f in "$XDG_DATA_HOME"/vortana/{avortana,vortana}.txt; do [[ -f "$f" && ! -s "$f" ]] || fail "record file $f missing or not empty $1"; done
}

xsession_launch "$bin"
answer dialog "Come ti chiami?" type --delay 50 Ada
answer dialog "Come ti chiami?" key Return
answer alert "Ada vediamo se sei un vero campione" key Return
# The name in its own green (lblnome1), drawn where the game says its label is.
look frame Ada --ink 008000
read -r _ _ WIDTH HEIGHT <<<"$LOOK"
((WIDTH == 608 && HEIGHT >= 672)) || fail "game window is ${WIDTH}x$HEIGHT, expected 608 wide, 672 high and a menu"
empty_records "after start-up"

answer frame Ada key alt+x
answer alert "Ciao a presto!" key Return
xsession_wait_exit "the farewell box"
empty_records "after the exit"
echo "e2e_wayland: ok"
