#!/bin/sh
# Runs a check that needs something of the machine, or skips it: exit 77,
# which CTest reports as Skipped, with the reason as the output's last line.
# The probe decides, never the check's own output, so a failure can't pass
# for a skip. Usage: machine.sh CAPABILITY COMMAND [ARG...]
cap=$1; shift
skip() { echo "skipped: $*"; exit 77; }
case $cap in
strace)
    strace -f -o /dev/null true 2>/dev/null || skip "strace can't trace here" ;;
chattr)
    # On the disk the check uses: tmpfs and overlayfs may not know the attribute.
    command -v chattr >/dev/null || skip "no chattr"
    d=$(mktemp -d "$PWD/probe-XXXXXX") || skip "can't make a folder in $PWD"
    ok=0; chattr +i "$d" 2>/dev/null && ok=1 && chattr -i "$d"
    rmdir "$d"
    [ $ok = 1 ] || skip "chattr +i does not work on $(stat -f -c %T "$PWD")" ;;
mutter)
    # GNOME's compositor, headless, with its Xwayland: e2e_mutter.py starts them.
    for tool in mutter Xwayland dbus-daemon; do command -v $tool >/dev/null || skip "no $tool"; done
    mutter --version >/dev/null 2>&1 || skip "mutter does not run here"
    # Xwayland's socket goes there; without a namespace of its own the check
    # needs the folder as X servers make it.
    unshare -Urm true 2>/dev/null || [ ! -d /tmp/.X11-unix ] || [ "$(stat -c %a /tmp/.X11-unix)" = 1777 ] ||
        skip "/tmp/.X11-unix is not world-writable and no mount namespace is allowed" ;;
userns)
    unshare -Urm true 2>/dev/null || skip "no user and mount namespace allowed" ;;
userns-chown)
    # Root gives a link to another user, whom the user namespace leaves unmapped.
    [ "$(id -u)" = 0 ] || skip "not root: no link can be given to another user"
    unshare --map-user=1000 --map-group=1000 true 2>/dev/null || skip "no user namespace allowed" ;;
strace-userns)
    unshare -Urm strace -f -o /dev/null true 2>/dev/null || skip "strace can't trace in a user and mount namespace here" ;;
fifo)
    d=$(mktemp -d) || skip "no temporary folder"
    ok=0; mkfifo "$d/probe" 2>/dev/null && ok=1
    rm -rf "$d"
    [ $ok = 1 ] || skip "no FIFO can be made in ${TMPDIR:-/tmp}" ;;
ofdlock)
    # An open file description lock, as the game takes on its record.
    python3 -c 'import fcntl, tempfile
with tempfile.TemporaryFile() as f:
    fcntl.fcntl(f, fcntl.F_OFD_SETLK, bytes(32))' 2>/dev/null || skip "no open file description locks here" ;;
group)
    # Root may give a file any group; another player needs a second group.
    [ "$(id -u)" = 0 ] || [ "$(id -G | wc -w)" -gt 1 ] || skip "not root and in one group only" ;;
gtk-dark)
    # GTK's dark Adwaita through Qt's GTK platform theme, on a virtual X server.
    command -v xvfb-run >/dev/null || skip "no xvfb-run"
    ls /usr/lib/*/qt6/plugins/platformthemes/libqgtk3.so >/dev/null 2>&1 ||
        skip "no Qt GTK platform theme (qt6-gtk-platformtheme)" ;;
*)
    echo "machine.sh: unknown capability $cap" >&2
    exit 2 ;;
esac
VORTANA_MACHINE_CHECK=1 exec "$@"
