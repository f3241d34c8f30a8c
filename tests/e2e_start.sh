#!/usr/bin/env bash
# The real program on a virtual X server, from the first start to Alt+X:
# name prompt, greeting, game window, record files created empty, farewell
# and a clean exit.
# Usage: e2e_start.sh path/to/vortana
set -euo pipefail
# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

bin="$(realpath "${1:?usage: e2e_start.sh path/to/vortana}")"
if ! xsession_inside; then
    xsession_run 110 1024x768x24 "$bin"
    exit
fi

xsession_env
points="$XDG_DATA_HOME/vortana/avortana.txt"
holder="$XDG_DATA_HOME/vortana/vortana.txt"

xsession_launch "$bin"
xsession_enter_game Ada
game="$WIN"
eval "$(xdotool getwindowgeometry --shell "$game")"
((WIDTH == 608)) || fail "game window is ${WIDTH}x${HEIGHT}, expected 608 wide"
((HEIGHT >= 672)) || fail "game window is ${WIDTH}x${HEIGHT}, expected at least 672 high"

for f in "$points" "$holder"; do
    [[ -f "$f" ]] || fail "record file $f missing after start-up"
    [[ ! -s "$f" ]] || fail "record file $f not empty after start-up"
done

# Alt+X runs the exit routine; its farewell box is closed with Enter.
xsession_press "$game" key alt+x
xsession_answer "the farewell box" key Return
xsession_wait_exit "the farewell box" 15

# A score of 0 against an empty record saves nothing.
for f in "$points" "$holder"; do
    [[ -f "$f" && ! -s "$f" ]] || fail "record file $f changed by the exit"
done
echo "e2e_start: ok"
