#!/usr/bin/env bash
# A save's calls to Windows, seen by Wine's relay trace as strace sees them
# on Linux: the journal written and flushed first, each file's new line
# written aside and flushed, then moved into place with MoveFileExW
# (MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), points first, under
# LockFileEx on the points file.
# Usage: save_calls.sh test_recordfiles.exe, in a Wine prefix (WINEPREFIX).
set -euo pipefail
exe="${1:?usage: save_calls.sh test_recordfiles.exe}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/vortana"
printf -- '-12345\r\n' >"$tmp/vortana/avortana.txt"
printf 'Bartolomeo Bianchi\r\n' >"$tmp/vortana/vortana.txt"

wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /f \
    /d 'CreateFileW;WriteFile;FlushFileBuffers;MoveFileExW;DeleteFileW;LockFileEx' >/dev/null 2>&1
VORTANA_TEST_CHILD="$(winepath -w "$tmp/vortana")" WINEDEBUG=-all,+relay \
    wine "$exe" saveAndExit >"$tmp/out" 2>"$tmp/relay" || { cat "$tmp/out" "$tmp/relay" | tail -n 20; exit 1; }

# The calls on the record folder, by name: a handle stands for the file
# that CreateFileW opened; creation shows only where it made a file.
calls="$(gawk '
    function base(s) { gsub(/\\\\/, "/", s); sub(/.*\//, "", s); return s }
    match($0, /Call KERNEL32\.([A-Za-z]+)\(/, m) { fn = m[1]
        n = split($0, q, "L\""); for (i = 2; i <= n; ++i) { sub(/".*/, "", q[i]); name[i - 1] = base(q[i]) }
        split(substr($0, RSTART + RLENGTH), a, /[,)]/)
        # A DWORD is the low half of its register: Wine 10 prints the whole.
        if (fn == "CreateFileW") { opening = name[1]; disposition = strtonum("0x" a[5]) % 4294967296 }
        else if (fn == "MoveFileExW") { moving = name[1] " " name[2] " " strtonum("0x" a[3]) % 4294967296 }
        else if (fn == "DeleteFileW") { deleting = name[1] }
        else if ((fn == "WriteFile" || fn == "FlushFileBuffers" || fn == "LockFileEx") && (a[1] in file)) {
            line = tolower(fn == "FlushFileBuffers" ? "flush" : fn == "LockFileEx" ? "lock" : "write") " " file[a[1]]
            if (line != last) print line; last = line }
        next }
    match($0, /Ret  KERNEL32\.([A-Za-z]+)\(\) retval=([0-9a-f]+)/, m) {
        ok = m[2] !~ /^0+$/ && m[2] !~ /^f+$/
        if (m[1] == "CreateFileW" && ok) { file[sprintf("%08x", strtonum("0x" m[2]))] = opening; if (disposition == 1) { print "create " opening; last = "" } }
        if (m[1] == "MoveFileExW" && ok) { print "move " moving; last = "" }
        if (m[1] == "DeleteFileW" && ok) { print "delete " deleting; last = "" } }
' "$tmp/relay" | grep -E ' (a?vortana\.(txt|journal)(\.new|\.old)?|vortana)( |$)')"

# Flags 9: MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH. The points
# file, held open by the lock, steps aside before the new one takes its name.
expected="lock avortana.txt
create vortana.journal
write vortana.journal
flush vortana.journal
flush vortana
create vortana.txt.new
write vortana.txt.new
flush vortana.txt.new
create avortana.txt.new
write avortana.txt.new
flush avortana.txt.new
lock avortana.txt.new
move avortana.txt avortana.txt.old 9
move avortana.txt.new avortana.txt 9
delete avortana.txt.old
move vortana.txt.new vortana.txt 9
flush vortana
delete vortana.journal
flush vortana"
if [[ "$calls" != "$expected" ]]; then
    echo "save_calls: a save's calls differ from the promised ones:" >&2
    diff <(echo "$expected") <(echo "$calls") >&2 || true
    exit 1
fi
[[ "$(cat "$tmp/vortana/avortana.txt" "$tmp/vortana/vortana.txt")" == $' 1\r\nAnna\r' ]] || { echo "save_calls: record not saved" >&2; exit 1; }
echo "save_calls: journal flushed first, each line aside and flushed, moved with write-through, points first, under the lock"
