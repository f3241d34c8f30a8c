#!/bin/sh
# Runs a check that needs something of the machine, or skips it: exit 77,
# which CTest reports as Skipped, with the reason as the output's last line.
# The probe decides, never the check's own output, so a failure can't pass
# for a skip. Usage: machine.sh CAPABILITY COMMAND [ARG...]
cap=$1
shift
skip() { echo "skipped: $*"; exit 77; }
case $cap in
strace)
    strace -f -o /dev/null true 2>/dev/null || skip "strace can't trace here" ;;
chattr)
    # On the disk the check uses: tmpfs and overlayfs may not know the attribute.
    command -v chattr >/dev/null || skip "no chattr"
    d=$(mktemp -d "$PWD/probe-XXXXXX") || skip "can't make a folder in $PWD"
    ok=0
    chattr +i "$d" 2>/dev/null && ok=1 && chattr -i "$d"
    rmdir "$d"
    [ $ok = 1 ] || skip "chattr +i does not work on $(stat -f -c %T "$PWD")" ;;
userns)
    unshare -Urm true 2>/dev/null || skip "no user and mount namespace allowed" ;;
*)
    echo "machine.sh: unknown capability $cap" >&2
    exit 2 ;;
esac
VORTANA_MACHINE_CHECK=1 exec "$@"
