# The game on Wayland, inside an xsession: weston with its X11 backend on the
# test's Xvfb (its headless backend has no seat, and Qt 6.4's Wayland client
# crashes without one), and a session bus of our own that carries the
# accessibility bus tests/wl_look.py reads. Keys go through xdotool to
# weston's output window, which hands them to the focused Wayland window.
# shellcheck shell=bash

WL_PIDS=()

# shellcheck disable=SC2317  # run by the EXIT trap
wlsession_stop() {
    local rc="$1" pid
    xsession_stop_game
    for pid in "${WL_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    ((rc == 0)) || cat "$XS_TMP/weston.log" "$XS_TMP/bus.log" >&2 2>/dev/null || true
}

wlsession_start() {
    local deadline=$((SECONDS + XS_WAIT)) WIDTH HEIGHT out
    trap 'wlsession_stop $?' EXIT
    dbus-daemon --session --nofork --print-address=1 >"$XS_TMP/bus" 2>"$XS_TMP/bus.log" &
    WL_PIDS+=($!)
    eval "$(xdotool getdisplaygeometry --shell)"
    # No on-screen keyboard: as an input method it would take the keys first.
    printf '[input-method]\npath=\n' >"$XS_TMP/weston.ini"
    weston --backend=x11-backend.so --use-pixman --width="$WIDTH" --height="$HEIGHT" --socket=vortana-test \
        --config="$XS_TMP/weston.ini" --debug --log="$XS_TMP/weston.log" &
    WL_PIDS+=($!)
    until [[ -S "$XDG_RUNTIME_DIR/vortana-test" && -s "$XS_TMP/bus" ]] &&
        out="$(xdotool search --class '^Weston Compositor$')"; do
        ((SECONDS < deadline)) || fail "weston or the session bus did not start"
        sleep 0.2
    done
    timeout 10 xdotool windowfocus --sync "${out%%$'\n'*}" || fail "cannot focus weston's window"
    DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$XS_TMP/bus")"
    export DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY=vortana-test QT_QPA_PLATFORM=wayland
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
}

# wlsession_look ROLE TEXT [--ink RRGGBB]: waits for that window on top; its
# screen rectangle "x y width height" in LOOK.
# shellcheck disable=SC2034  # LOOK is for the caller
wlsession_look() {
    LOOK="$(/usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/wl_look.py" --timeout "$XS_WAIT" "$@")" ||
        fail "no $1 reading \"$2\""
}

# wlsession_answer ROLE TEXT XDOTOOL-ARGS...: that window, given the keys.
wlsession_answer() {
    wlsession_look "$1" "$2"
    timeout 20 xdotool "${@:3}" || fail "xdotool ${*:3} to the $1 \"$2\""
}
