#!/usr/bin/env bash
# The real program on a virtual X server, from the first start to Alt+X:
# name prompt, greeting, game window, record files created empty, farewell
# and a clean exit.
# Usage: e2e_start.sh path/to/vortana
set -euo pipefail

bin="$(realpath "${1:?usage: e2e_start.sh path/to/vortana}")"

if [[ "${2:-}" != --inner ]]; then
    for tool in xvfb-run xdotool timeout; do
        command -v "$tool" >/dev/null || { echo "e2e_start: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
    done
    # The outer timeout also takes the X server down if anything hangs.
    exec timeout -k 5 110 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$bin" --inner
fi

tmp="$(mktemp -d)"
pid=""
cleanup() {
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        sleep 0.5
        kill -9 "$pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

export QT_QPA_PLATFORM=xcb
export QT_LOGGING_RULES='qt.multimedia*=false'
export XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache"
export XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
points="$XDG_DATA_HOME/vortana/avortana.txt"
holder="$XDG_DATA_HOME/vortana/vortana.txt"

fail() {
    echo "e2e_start: $*" >&2
    echo "--- windows:" >&2
    xdotool search --onlyvisible --name . getwindowname %@ >&2 2>/dev/null || true
    echo "--- program output:" >&2
    cat "$tmp/out" >&2 2>/dev/null || true
    exit 1
}

visible() { xdotool search --onlyvisible --name '^Vortana$' 2>/dev/null || true; }

# Waits until a visible "Vortana" window other than those in $2 shows up
# and leaves its id in WIN. The prompt, the boxes and the game window all
# carry that title.
new_window() {
    local what="$1" old=" ${2:-} " deadline=$((SECONDS + 30)) id
    while ((SECONDS < deadline)); do
        for id in $(visible); do
            if [[ "$old" != *" $id "* ]]; then
                WIN="$id"
                return 0
            fi
        done
        kill -0 "$pid" 2>/dev/null || fail "the program ended while waiting for $what"
        sleep 0.2
    done
    fail "no window for $what"
}

gone() {
    local deadline=$((SECONDS + 20))
    while ((SECONDS < deadline)); do
        [[ " $(visible | tr '\n' ' ') " == *" $1 "* ]] || return 0
        sleep 0.2
    done
    fail "window $1 ($2) did not close"
}

focus() {
    timeout 10 xdotool windowfocus --sync "$1" || fail "cannot focus window $1"
    sleep 0.3
}

"$bin" >"$tmp/out" 2>&1 &
pid=$!

# The prompt: the first window of the program.
timeout 30 xdotool search --sync --onlyvisible --name '^Vortana$' >/dev/null || fail "no name prompt"
new_window "the name prompt"
prompt="$WIN"
focus "$prompt"
xdotool type --delay 30 "Ada"
xdotool key Return
gone "$prompt" "name prompt"

new_window "the greeting" "$prompt"
greeting="$WIN"
focus "$greeting"
xdotool key Return
gone "$greeting" "greeting"

# The game window is mapped once the greeting is closed.
new_window "the game window" "$prompt $greeting"
game="$WIN"
eval "$(xdotool getwindowgeometry --shell "$game")"
((WIDTH == 608)) || fail "game window is ${WIDTH}x${HEIGHT}, expected 608 wide"
((HEIGHT >= 672)) || fail "game window is ${WIDTH}x${HEIGHT}, expected at least 672 high"

for f in "$points" "$holder"; do
    [[ -f "$f" ]] || fail "record file $f missing after start-up"
    [[ ! -s "$f" ]] || fail "record file $f not empty after start-up"
done

# Alt+X runs the exit routine; its farewell box is closed with Enter.
focus "$game"
xdotool key alt+x
new_window "the farewell box" "$prompt $greeting $game"
farewell="$WIN"
focus "$farewell"
xdotool key Return

deadline=$((SECONDS + 15))
while kill -0 "$pid" 2>/dev/null; do
    ((SECONDS < deadline)) || fail "the program did not exit after the farewell box"
    sleep 0.2
done
status=0
wait "$pid" || status=$?
pid=""
((status == 0)) || fail "exit status $status"

# A score of 0 against an empty record saves nothing.
for f in "$points" "$holder"; do
    [[ -f "$f" && ! -s "$f" ]] || fail "record file $f changed by the exit"
done
echo "e2e_start: ok"
