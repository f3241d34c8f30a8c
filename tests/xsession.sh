# Drives the real game on a virtual X server with xdotool. A script runs
# twice: outside, xsession_run runs it again under xvfb-run and timeout,
# where xsession_inside holds and the script plays. Every wait has a deadline.
# shellcheck shell=bash

XS_NAME="$(basename "$0" .sh)"
XS_WAIT="${XS_WAIT:-30}"    # seconds a window may take to come up or to close
XS_TMP="${XSESSION_DIR:-}"  # scratch folder, made outside and handed in
XS_GAME="" XS_SEEN=""       # the game's pid; windows already handed out

xsession_inside() { [[ -n "${XSESSION_DIR:-}" ]]; }

# Inside, with the windows shown and the logs of the game, the X server and
# any compositor or bus the script started.
fail() {
    echo "$XS_NAME: $*${XS_LAST:+; last seen: $XS_LAST}" >&2
    ! xsession_inside || { xdotool search --onlyvisible --name . getwindowname %@ || true
        cat "$XS_TMP"/{game,xvfb,wm,weston,bus}.log; } >&2 2>/dev/null
    exit 1
}

xsession_require() {
    local tool
    for tool in "$@"; do command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"; done
}

# xsession_until WHAT SECONDS COMMAND...: fails with WHAT (and XS_LAST, which
# COMMAND may set) unless COMMAND succeeds within SECONDS.
xsession_until() {
    local deadline=$((SECONDS + $2))
    until "${@:3}"; do
        ((SECONDS < deadline)) || fail "$1"
        sleep 0.2
    done
}

xsession_tmpdir() { XS_TMP="$(mktemp -d)" && trap 'rm -rf "$XS_TMP"' EXIT; }

# xsession_run SECONDS SCREEN ARGS...: xvfb-run's scratch in ours, which
# nothing else sweeps. -noreset: a game started while the server resets after
# its last client left (a session's second game) could not connect.
xsession_run() {
    xsession_require xvfb-run xdotool timeout
    [[ -n "$XS_TMP" ]] || xsession_tmpdir
    TMPDIR="$XS_TMP" XSESSION_DIR="$XS_TMP" timeout -k 5 "$1" \
        xvfb-run -a -e "$XS_TMP/xvfb.log" -s "-screen 0 $2 -noreset" bash "$0" "${@:3}"
}

# A home of the game's own. No session bus: libdbus would autolaunch a
# daemon that outlives the game (and that strace -f waits for).
xsession_env() {
    export XDG_DATA_HOME="$XS_TMP/data" XDG_CONFIG_HOME="$XS_TMP/config" XDG_CACHE_HOME="$XS_TMP/cache" \
        XDG_RUNTIME_DIR="$XS_TMP/run" QT_QPA_PLATFORM=xcb QT_LOGGING_RULES='qt.multimedia*=false' \
        DBUS_SESSION_BUS_ADDRESS="unix:path=$XS_TMP/no-bus"
    mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    trap xsession_stop_game EXIT
}

# Starts the game (or a wrapper such as strace), its output kept for fail().
xsession_launch() { XS_SEEN=""; "$@" >"$XS_TMP/game.log" 2>&1 & XS_GAME=$!; }

# Children first: killing strace alone would only detach it.
# shellcheck disable=SC2317  # run by the EXIT trap
xsession_stop_game() {
    [[ -n "$XS_GAME" ]] && kill -0 "$XS_GAME" 2>/dev/null || return 0
    { pkill -P "$XS_GAME"; kill "$XS_GAME"; sleep 0.5; kill -9 "$XS_GAME"; } 2>/dev/null || true
}

# The prompt, the boxes and the game window are all titled "Vortana", but
# for the new-game question.
xsession_windows() { xdotool search --onlyvisible --name "${1:-^Vortana\$}" 2>/dev/null || true; }

# xsession_next_window WHAT [TITLE]: a window titled exactly TITLE (by
# default "Vortana") not handed out before; id in WIN.
xsession_next_window() { xsession_until "no window for $1" "$XS_WAIT" xsession_new_window "$1" "${2:+^$2\$}"; }
xsession_new_window() {
    local id
    for id in $(xsession_windows "$2"); do
        [[ " $XS_SEEN " == *" $id "* ]] || { XS_SEEN+=" $id"; WIN="$id"; return 0; }
    done
    xsession_ended && fail "the program ended while waiting for $1"
    return 1
}

xsession_wait_gone() { xsession_until "window $1 ($2) did not close" "$XS_WAIT" xsession_gone "$1"; }  # ID WHAT
xsession_ended() { ! kill -0 "$XS_GAME" 2>/dev/null; }
xsession_gone() { [[ " $(xsession_windows | tr '\n' ' ') " != *" $1 "* ]]; }

# xsession_press ID XDOTOOL-ARGS...: real key events to that window.
xsession_press() {
    timeout 10 xdotool windowfocus --sync "$1" 2>/dev/null ||
        timeout 10 xdotool windowfocus "$1" || fail "cannot focus window $1"
    sleep 0.3
    timeout 20 xdotool "${@:2}" || fail "xdotool ${*:2} to window $1"
}

# xsession_answer WHAT XDOTOOL-ARGS...: the next window, given the keys.
xsession_answer() { xsession_next_window "$1" && xsession_press "$WIN" "${@:2}"; }

# xsession_enter_game NAME: answers the prompt and the greeting; game window in WIN.
xsession_enter_game() {
    xsession_answer "the name prompt" type --delay 50 "$1"
    xsession_press "$WIN" key Return
    xsession_wait_gone "$WIN" "the name prompt"
    xsession_answer "the greeting" key Return
    xsession_wait_gone "$WIN" "the greeting"
    xsession_next_window "the game window"
}

# xsession_wait_exit WHAT [SECONDS] [STATUS]: the game must end with STATUS (0).
xsession_wait_exit() {
    local rc=0
    xsession_until "the program did not end after $1" "${2:-30}" xsession_ended
    wait "$XS_GAME" || rc=$?
    XS_GAME=""
    ((rc == ${3:-0})) || fail "exit status $rc after $1"
}

# xsession_quit ID [WHAT...]: Alt+X (or the keys in XS_QUIT_KEYS), Enter on
# the farewell and on each box WHAT that follows, then a clean end.
xsession_quit() {
    local what
    xsession_press "$1" key "${XS_QUIT_KEYS:-alt+x}"
    for what in "the farewell box" "${@:2}"; do xsession_answer "$what" key Return; done
    xsession_wait_exit "$what"
}
