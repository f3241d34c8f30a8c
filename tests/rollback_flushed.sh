#!/bin/sh
# The old points put back after a failed name replacement reach the disk
# before the journal goes: between the rollback's rename and the journal's
# removal the folder is flushed. Traced in exitRoutine's "mounted" row, in a
# user and mount namespace of its own. Usage: rollback_flushed.sh TEST_ENDGAME
set -eu
log=$(mktemp) && trap 'rm -f "$log"' EXIT
# LeakSanitizer can't stop the world of a traced process; the other tests
# of the sanitizer build check the same code for leaks.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
unshare -Urm strace -f -y -o "$log" -e trace=rename,fsync,unlink "$1" exitRoutine:mounted >/dev/null
awk '/vortana\.txt\.new.*EBUSY/ { failed = 1; next }
     failed && /rename\(.*avortana\.txt\.new/ && / = 0$/ { back = 1; next }
     back && /fsync\([0-9]+<[^>]*\/vortana>\) = 0/ { flushed = 1; next }
     back && /unlink\(.*vortana\.journal/ { print (flushed ? "flushed" : "journal removed before the folder was flushed"); exit !flushed }
     END { if (!back) { print "no rollback traced"; exit 1 } }' "$log"
