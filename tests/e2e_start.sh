#!/usr/bin/env bash
# The real program from the first start to Alt+X: the record files are made
# empty, and a score of 0 against no record leaves them so.
# Usage: e2e_start.sh path/to/vortana
set -euo pipefail
# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

bin="$(realpath "${1:?usage: e2e_start.sh path/to/vortana}")"
xsession_inside || { xsession_run 110 1024x768x24 "$bin"; exit; }

xsession_env
xsession_launch "$bin"
xsession_enter_game Ada
eval "$(xdotool getwindowgeometry --shell "$WIN")"
((WIDTH == 608 && HEIGHT >= 672)) || fail "game window is ${WIDTH}x$HEIGHT, expected 608 wide, 672 high and a menu"

empty_records() {
    local f
    for f in "$XDG_DATA_HOME"/vortana/{avortana,vortana}.txt; do
        [[ -f "$f" && ! -s "$f" ]] || fail "record file $f missing or not empty $1"
    done
}
empty_records "after start-up"
xsession_quit "$WIN"
empty_records "after the exit"
echo "e2e_start: ok"
