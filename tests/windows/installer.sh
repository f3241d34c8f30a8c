#!/usr/bin/env bash
# The installer run silently (/S) in a Wine prefix of its own: the game and
# its Start-menu entry are there and the game starts from its folder; the
# uninstaller removes the game and the entry but leaves the record alone.
# Usage: installer.sh vortana-VERSION-setup.exe WINE-PREFIX
set -euo pipefail
setup="$(realpath "${1:?usage: installer.sh setup.exe WINE-PREFIX}")"
WINEPREFIX="$(realpath -m "${2:?}")"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
fail() { echo "installer: $*" >&2; exit 1; }
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
wineserver -w

wine "$setup" /S
wineserver -w
dir="$WINEPREFIX/drive_c/Program Files/Vortana"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vortana.lnk"
for f in vortana.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll suoni/sparo.wav translations/qtbase_it.qm uninstall.exe; do
    [[ -f "$dir/$f" ]] || fail "$f not installed"
done
[[ -f "$menu" ]] || fail "no Start-menu entry"
[[ "$(wine "$dir/vortana.exe" --version | tr -d '\r')" == "Vortana "[0-9]* ]] || fail "the installed game does not start"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vortana' /v DisplayName 2>/dev/null | grep -q Vortana ||
    fail "not listed among the installed programs"

# A player's record, then the uninstaller, silently. NSIS runs it from a
# copy of itself in the temporary folder, so wait for the prefix to settle.
appdata="$(realpath -m "$(winepath -u "$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')")")"
mkdir -p "$appdata/vortana"
printf ' 7\r\n' >"$appdata/vortana/avortana.txt"
printf 'Anna\r\n' >"$appdata/vortana/vortana.txt"
wine "$dir/uninstall.exe" /S
wineserver -w
[[ ! -e "$dir" ]] || fail "left after the uninstall: $(cd "$dir" && find . | tr '\n' ' ')"
[[ ! -e "$menu" ]] || fail "the Start-menu entry is left"
{ cmp -s "$appdata/vortana/avortana.txt" <(printf ' 7\r\n') && cmp -s "$appdata/vortana/vortana.txt" <(printf 'Anna\r\n'); } ||
    fail "the record was touched"
echo "installer: installed silently with its Start-menu entry; uninstalled, the record kept"
