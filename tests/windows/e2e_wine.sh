#!/usr/bin/env bash
# The real vortana.exe of the portable folder under Wine and openbox, played
# as a player would: the name prompt, the greeting, a click that starts
# play, a hit, Exit, the farewell and the confirmation; then the record's
# bytes in %APPDATA%\vortana. A second game ends with the Windows session
# (WM_QUERYENDSESSION) and saves without a box. A shot of the window in
# play goes to SCREENSHOT.
# Usage: e2e_wine.sh path/to/vortana.exe WINE-PREFIX SCREENSHOT
set -euo pipefail
# shellcheck source=SCRIPTDIR/../xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/../xsession.sh"

exe="$(realpath "${1:?usage: e2e_wine.sh vortana.exe WINE-PREFIX SCREENSHOT}")"
WINEPREFIX="$(realpath -m "${2:?}")"
export WINEPREFIX WINEDEBUG=-all
shot="$(realpath -m "${3:?}")"
if ! xsession_inside; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
    # Qt's messages on stderr (Wine hands over no QT_ variable of Linux).
    wine reg add 'HKCU\Environment' /v QT_FORCE_STDERR_LOGGING /d 1 /f >/dev/null 2>&1
    wineserver -w
    # From a console, without a display.
    [[ "$(env -u DISPLAY wine "$exe" --version | tr -d '\r')" == "Vortana "[0-9]* ]] || fail "--version"
    [[ "$(env -u DISPLAY wine "$exe" --help | tr -d '\r')" == *"--version"*"Mostra la versione ed esce."* ]] || fail "--help"
    [[ "$(env -u DISPLAY wine "$exe" --nessuna 2>&1 >/dev/null | tr -d '\r'; echo "rc ${PIPESTATUS[0]}")" == *"'nessuna'"*"rc 2" ]] ||
        fail "an unknown option is not refused"
    # A wineserver still lingering would hand its display-less desktop to the
    # game, whose windows Wine 10 then refuses to create.
    wineserver -w
    xsession_require openbox xprop xwininfo import convert wine
    xsession_run 300 1280x1024x24 "$@"
    exit
fi

trap 'xsession_stop_game; wineserver -k 2>/dev/null || true' EXIT
# Wine 10 aborts at start ("free(): invalid pointer") with TMPDIR set, as
# xvfb-run's scratch leaves it.
unset TMPDIR
openbox --sm-disable >"$XS_TMP/wm.log" 2>&1 &
xsession_until "openbox did not start" 10 eval "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'"
appdata="$(realpath -m "$(winepath -u "$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')")")"
[[ "$appdata" == "$WINEPREFIX/drive_c/users/"*"/AppData/Roaming" ]] || fail "APPDATA is '$appdata'"
points="$appdata/vortana/avortana.txt" holder="$appdata/vortana/vortana.txt"
XS_WAIT=60  # Wine starts slowly on a busy machine

geometry() {  # ID: the client's "x y width height" on the screen
    xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
        /^ *Width:/{w=$NF} /^ *Height:/{h=$NF} END{print x, y, w, h}'
}
share() {  # ID COLOUR: share of the window's pixels in that colour
    import -window "$1" png:- 2>/dev/null |
        convert png:- -fill black +opaque "$2" -fill white -opaque "$2" -format '%[fx:mean]' info:
}
click() {  # ID X Y: at that point of the window
    timeout 20 xdotool mousemove --window "$1" "$2" "$3" click 1
}
# The centres of the cyan targets now on the window, as "X Y" lines.
targets() {
    import -window "$1" png:- 2>/dev/null |
        convert png:- -fill black +opaque '#00FFFF' -fill white -opaque '#00FFFF' \
            -define connected-components:verbose=true -connected-components 4 null: |
        awk '$NF == "srgb(255,255,255)" && $4 > 200 { split($3, c, ","); printf "%d %d\n", c[1], c[2] }'
}

# The score's label ("Punteggio", 64,72 to 97,113 of the form, black on the
# background) as a hash of its black pixels alone: a click on the bare form
# (a target that jumped away) paints a new gradient behind it. Taken once
# no target covers the label or its edge (no cyan within 3 px) and it looks
# the same three times, 0.2 s apart, as Wine repaints it after a box in
# steps, with some digit drawn: on a busy machine the label can stay blank
# for a while in a repaint.
score_look() {  # ID
    local look same=0 last="" now
    for ((look = 0; look < 100; ++look)); do
        import -window "$1" -crop "40x48+61+$((height - 672 + 69))" +repage png:"$XS_TMP/around.png" 2>/dev/null
        now=""
        [[ "$(convert "$XS_TMP/around.png" -fill black +opaque '#00FFFF' -fill white -opaque '#00FFFF' -format '%[fx:maxima]' info:)" != 0 ]] ||
            convert "$XS_TMP/around.png" -crop 34x42+3+3 +repage -fill white +opaque black -fill black -opaque black "$XS_TMP/label.pgm"
        [[ -s "$XS_TMP/label.pgm" && "$(convert "$XS_TMP/label.pgm" -format '%[fx:minima]' info:)" == 0 ]] &&
            now="$(md5sum <"$XS_TMP/label.pgm")"
        rm -f "$XS_TMP/label.pgm"
        [[ -n "$now" && "$now" == "$last" ]] && same=$((same + 1)) || same=0
        ((same < 2)) || { echo "$now"; return; }
        last="$now"
        sleep 0.2
    done
    fail "a target stays on the score"
}

# The first game, played: a hit on a multiple of 11 (the score changes and
# no warning opens), each miss on the way answered (its warning box), then
# Exit. A click that found no target (it had jumped) changes no score.
mkdir -p "$appdata/vortana"
printf -- '-99\r\n' >"$points"
xsession_launch wine "$exe"
xsession_enter_game Anna
main="$WIN"
read -r _ _ width height < <(geometry "$main")
((width == 608 && height >= 672)) || fail "game window is ${width}x$height, expected 608 wide, 672 high and a menu"
for ((look = 0; look < 75; ++look)); do
    ((look % 15)) || click "$main" 450 $((height - 672 + 300))
    sleep 0.2
    [[ "$(share "$main" '#00FFFF')" == 0 ]] || break
done
((look < 75)) || fail "a click on the window did not start play"
import -window "$main" "$shot"
misses=0 hit=0
# What a click did, within 4 s: "miss" (a warning opened), "hit" (the score
# changed with no warning), or "none".
outcome() {  # ID SCORE-LOOK-BEFORE
    local wait
    for ((wait = 0; wait < 16; ++wait)); do
        sleep 0.25
        [[ "$(xsession_windows | wc -l)" -gt 1 ]] && { echo miss; return; }
        [[ "$(score_look "$1")" == "$2" ]] || { echo hit; return; }
    done
    echo none
}
for ((try = 0; try < 40 && !hit; ++try)); do
    before="$(score_look "$main")"
    read -r x y < <(targets "$main" | shuf -n 1) || continue
    click "$main" "$x" "$y"
    case "$(outcome "$main" "$before")" in
    miss)
        misses=$((misses + 1))
        xsession_answer "the warning of a miss" key Return
        xsession_wait_gone "$WIN" "the warning"
        # The score shows the miss once the warning has gone.
        # shellcheck disable=SC2016  # expanded by eval, at each try
        xsession_until "the score did not change after a miss" 10 eval '[[ "$(score_look "$main")" != "$before" ]]' ;;
    hit) hit=1 ;;
    esac
done
((hit)) || fail "no hit in $try clicks"
score=" $((1 - 4 * misses))"  # shown after a hit with a leading blank, whatever its sign
xsession_quit "$main" "the record confirmation"
{ cmp -s "$points" <(printf '%s\r\n' "$score") && cmp -s "$holder" <(printf 'Anna\r\n'); } ||
    fail "record after a hit and $misses misses, then Exit: $(od -An -c "$points" "$holder")"
found="$(cd "$appdata/vortana" && echo *)"
[[ "$found" == 'avortana.txt vortana.txt' ]] || fail "in the record folder: $found"

# The second: the Windows session ends in play; Bea's 0 beats -4, saved
# with no box.
printf -- '-4\r\n' >"$points"
ended=0
xsession_launch wine "$exe"
xsession_enter_game Bea
# Windows ends a program once it has answered WM_ENDSESSION, as wineboot
# does: how it ends is not the game's; no box may open before.
wineboot --end-session --force >"$XS_TMP/wineboot.log" 2>&1 &
for ((look = 0; look < 150 && !ended; ++look)); do
    [[ "$(xsession_windows | wc -l)" -le 1 ]] || fail "a box opened at the session's end"
    sleep 0.2
    xsession_ended && ended=1
done
((ended)) || fail "the game did not end with the session"
XS_GAME=""
[[ -z "$(xsession_windows)" ]] || fail "a window stayed open at the session's end"
{ cmp -s "$points" <(printf '0\r\n') && cmp -s "$holder" <(printf 'Bea\r\n'); } ||
    fail "record after the session's end: $(od -An -c "$points" "$holder")"
printf '%s\n' "e2e_wine: --help and --version from a console, a 608-wide window, a hit after $misses misses, the record in %APPDATA%\\vortana saved by Exit and at the session's end"
