# Plumbing shared by the scripts that drive the real game on a virtual X
# server with xdotool: tests/e2e_start.sh, tests/e2e_record.sh,
# tests/test_install.sh and scripts/screenshot.sh. Sourced, not run.
#
# A script runs twice: outside, it prepares what it needs and calls
# xsession_run, which runs it again inside a fresh X server; inside,
# xsession_inside is true and the script drives the game:
#
#   if ! xsession_inside; then xsession_run 110 1024x768x24 "$bin"; exit; fi
#   xsession_env
#   xsession_launch "$bin"
#   xsession_enter_game Ada; game="$WIN"
#   xsession_press "$game" key alt+x
#   xsession_answer "the farewell box" key Return
#   xsession_wait_exit "the farewell box"
#
# Every wait has a deadline, and the whole session runs under timeout, which
# also takes the X server down if anything hangs. Messages start with the
# script's name; fail() adds the visible windows and the game's output.
# shellcheck shell=bash

XS_NAME="$(basename "$0" .sh)"
XS_WAIT="${XS_WAIT:-30}"  # seconds a window may take to come up or to close
XS_TMP="${XSESSION_DIR:-}"  # scratch folder, made outside and handed in
XS_GAME=""                # pid of the running game (or of its wrapper)
XS_SEEN=""                # windows already handed out by xsession_next_window

xsession_inside() { [[ -n "${XSESSION_DIR:-}" ]]; }

fail() {
    echo "$XS_NAME: $*" >&2
    if xsession_inside; then
        echo "--- windows:" >&2
        xdotool search --onlyvisible --name . getwindowname %@ >&2 2>/dev/null || true
        echo "--- program output:" >&2
        cat "$XS_TMP/game.log" >&2 2>/dev/null || true
    fi
    exit 1
}

xsession_require() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
    done
}

# ---- outside

# The scratch folder, removed on exit; xsession_run makes it if need be.
xsession_tmpdir() {
    XS_TMP="$(mktemp -d)"
    trap 'rm -rf "$XS_TMP"' EXIT
}

# xsession_run SECONDS SCREEN ARGS...: runs this script again with ARGS on a
# virtual X server of the given size (e.g. 1024x768x24), for at most SECONDS.
# xvfb-run keeps its own scratch folder under TMPDIR: ours, so nothing else
# sweeps it.
xsession_run() {
    local seconds="$1" screen="$2"
    shift 2
    xsession_require xvfb-run xdotool timeout
    [[ -n "$XS_TMP" ]] || xsession_tmpdir
    TMPDIR="$XS_TMP" XSESSION_DIR="$XS_TMP" timeout -k 5 "$seconds" \
        xvfb-run -a -s "-screen 0 $screen" bash "$0" "$@"
}

# ---- inside

# A home of its own for the game under the scratch folder; records go to
# $XDG_DATA_HOME/vortana, which the game makes itself. The game is stopped
# however the script ends.
xsession_env() {
    export XDG_DATA_HOME="$XS_TMP/data" XDG_CONFIG_HOME="$XS_TMP/config"
    export XDG_CACHE_HOME="$XS_TMP/cache" XDG_RUNTIME_DIR="$XS_TMP/run"
    mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    export QT_QPA_PLATFORM=xcb QT_LOGGING_RULES='qt.multimedia*=false'
    # No session bus: otherwise libdbus autolaunches a daemon that outlives
    # the game (and that strace -f waits for until the X server goes away).
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XS_TMP/no-bus"
    trap xsession_stop_game EXIT
}

# Starts the game (or a wrapper such as strace) with its output kept for fail().
xsession_launch() {
    XS_SEEN=""
    "$@" >"$XS_TMP/game.log" 2>&1 &
    XS_GAME=$!
}

# Run on exit. Children go first: killing strace alone would only detach it.
# shellcheck disable=SC2317  # run by the EXIT trap
xsession_stop_game() {
    [[ -n "$XS_GAME" ]] && kill -0 "$XS_GAME" 2>/dev/null || return 0
    local child
    for child in $(ps -o pid= --ppid "$XS_GAME" 2>/dev/null); do kill "$child" 2>/dev/null || true; done
    kill "$XS_GAME" 2>/dev/null || true
    sleep 0.5
    kill -9 "$XS_GAME" 2>/dev/null || true
}

# Visible top-level windows titled exactly "Vortana": the prompt, the
# message boxes and the game window all carry that title.
xsession_windows() { xdotool search --onlyvisible --name '^Vortana$' 2>/dev/null || true; }

# xsession_next_window WHAT: waits for a "Vortana" window not handed out
# before and leaves its id in WIN.
xsession_next_window() {
    local deadline=$((SECONDS + XS_WAIT)) id
    while ((SECONDS < deadline)); do
        for id in $(xsession_windows); do
            if [[ " $XS_SEEN " != *" $id "* ]]; then
                XS_SEEN+=" $id"
                WIN="$id"
                return 0
            fi
        done
        kill -0 "$XS_GAME" 2>/dev/null || fail "the program ended while waiting for $1"
        sleep 0.2
    done
    fail "no window for $1"
}

# xsession_wait_gone ID WHAT
xsession_wait_gone() {
    local deadline=$((SECONDS + XS_WAIT))
    while ((SECONDS < deadline)); do
        [[ " $(xsession_windows | tr '\n' ' ') " == *" $1 "* ]] || return 0
        sleep 0.2
    done
    fail "window $1 ($2) did not close"
}

xsession_focus() {
    timeout 10 xdotool windowfocus --sync "$1" 2>/dev/null ||
        timeout 10 xdotool windowfocus "$1" || fail "cannot focus window $1"
    sleep 0.3
}

# xsession_press ID XDOTOOL-ARGS...: real key events to a window, e.g.
# xsession_press "$WIN" key Return.
xsession_press() {
    local win="$1"
    shift
    xsession_focus "$win"
    timeout 20 xdotool "$@" || fail "xdotool $* to window $win"
}

# xsession_answer WHAT XDOTOOL-ARGS...: the next window, given the keys.
xsession_answer() {
    local what="$1"
    shift
    xsession_next_window "$what"
    xsession_press "$WIN" "$@"
}

# xsession_enter_game NAME: gives the name prompt NAME and closes the
# greeting; leaves the game window's id in WIN.
xsession_enter_game() {
    xsession_answer "the name prompt" type --delay 50 "$1"
    xsession_press "$WIN" key Return
    xsession_wait_gone "$WIN" "the name prompt"
    xsession_answer "the greeting" key Return
    xsession_wait_gone "$WIN" "the greeting"
    xsession_next_window "the game window"
}

# xsession_wait_exit WHAT [SECONDS]: the game must end within SECONDS (30
# by default) of WHAT, with status 0.
xsession_wait_exit() {
    local deadline=$((SECONDS + ${2:-30})) rc=0
    while kill -0 "$XS_GAME" 2>/dev/null; do
        ((SECONDS < deadline)) || fail "the program did not end after $1"
        sleep 0.2
    done
    wait "$XS_GAME" || rc=$?
    XS_GAME=""
    ((rc == 0)) || fail "exit status $rc after $1"
}
