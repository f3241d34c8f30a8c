#!/usr/bin/env bash
# Proves the Quick start from a bare Debian 12 (bookworm), 13 (trixie) or
# testing (forky):
# builds a minimal root of that release with debootstrap (--variant=minbase)
# from the Debian mirror this machine's own apt sources name, puts a clean
# clone of HEAD in it, and runs there, as a new user would,
# `bash scripts/play.sh --version` and then `bash scripts/test.sh`.
# Prints how long each took; exits non-zero if either fails, or if the test
# command skipped anything (its last line must say "skipped: none"): the root
# has every tool the set-up installs, so a skip there is a fault.
#
# --windows runs `bash scripts/windows.sh --test` there instead: the Windows
# game, its Qt cross-built from Debian's sources with nothing cached, and its
# tests under Wine (over an hour on 2 cores). Its last line must say the
# tests passed.
#
# Needs root. It installs debootstrap and bubblewrap on this machine if they
# are missing, and nothing else: every package the project needs goes into the
# root, never onto the host. The root is entered with bubblewrap, which
# pivots into it (in a plain chroot the kernel refuses the user namespace the
# record_rollback test needs), with its own /proc, /dev, /dev/shm and /tmp.
# The root and its mounts are removed at the end, failed or not, unless
# --keep is given. Takes about 10 minutes on 2 idle cores, longer on busy ones.
#
# Usage: scripts/fresh-check.sh [--keep] [--windows] [bookworm|trixie|testing|forky] [PARENT-FOLDER]
#        (default bookworm, /var/tmp)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

((EUID == 0)) || exec sudo bash "${BASH_SOURCE[0]}" "$@"
keep=0
windows=0
while [[ "${1:-}" == --keep || "${1:-}" == --windows ]]; do
    [[ "$1" == --keep ]] && keep=1 || windows=1
    shift
done
release=bookworm
case "${1:-}" in bookworm | trixie | testing | forky) release="$1"; shift ;; esac
parent="${1:-/var/tmp}"

say() { echo "fresh-check: $*" >&2; }

# deb822 stanzas and one-line entries of the host's sources, as "URI SUITE"
# for every enabled Debian bookworm suite (bookworm, -updates, -security),
# the suite renamed to the release checked: the same mirror serves both.
host_suites() {
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f "$f" ]] || continue
        sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$f" | awk '$1 == "deb" { print $2, $3 }'
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [[ -f "$f" ]] || continue
        awk '
            function flush() {
                if (deb && enabled) for (i = 1; i <= nu; i++) for (j = 1; j <= ns; j++) print u[i], s[j]
                deb = 0; enabled = 1; nu = 0; ns = 0
            }
            BEGIN { enabled = 1 }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { flush(); next }
            { sub(/#.*/, "") }
            tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
            tolower($1) == "uris:" { for (i = 2; i <= NF; i++) u[++nu] = $i }
            tolower($1) == "suites:" { for (i = 2; i <= NF; i++) s[++ns] = $i }
            tolower($1) == "enabled:" { enabled = (tolower($2) != "no") }
            END { flush() }' "$f"
    done | awk -v r="$release" '$2 ~ /^bookworm(-updates|-security)?$/ { sub(/^bookworm/, r, $2); print }'
}

missing=()
command -v debootstrap >/dev/null || missing+=(debootstrap)
command -v bwrap >/dev/null || missing+=(bubblewrap)
if ((${#missing[@]})); then
    say "installing ${missing[*]} on this machine"
    apt-get -o DPkg::Lock::Timeout=900 update
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y --no-install-recommends "${missing[@]}"
fi

suites="$(host_suites)"
mirror="$(awk -v r="$release" '$2 == r { print $1; exit }' <<<"$suites")"
[[ -n "$mirror" ]] || { say "no Debian bookworm mirror in /etc/apt/sources.list{,.d}"; exit 1; }

commit="$(git -C "$root" rev-parse HEAD)"
[[ -z "$(git -C "$root" status --porcelain)" ]] || say "uncommitted changes are not checked, only HEAD"

fresh="$(mktemp -d "$parent/vortana-fresh.XXXXXX")"
# It becomes /, which apt's _apt user must be able to enter.
chmod 755 "$fresh"
unmount_all() {
    local m
    # Deepest first; debootstrap mounts /proc and /sys inside while it works.
    for m in $(findmnt -rn -o TARGET | grep -F "$fresh/" | sort -r); do umount -l "$m" || true; done
}
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
    local rc=$?
    unmount_all
    if ((keep)); then
        say "root kept in $fresh"
    else
        rm -rf --one-file-system "$fresh"
    fi
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

elapsed() { printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); }

say "debootstrap $release from $mirror into $fresh"
t0=$SECONDS
# A debootstrap older than the release knows it by sid's script, which
# every Debian release since jessie uses.
script=/usr/share/debootstrap/scripts/$release
[[ -e "$script" ]] || script=/usr/share/debootstrap/scripts/sid
debootstrap --variant=minbase "$release" "$fresh" "$mirror" "$script" >"$fresh.debootstrap.log" 2>&1 || {
    tail -n 20 "$fresh.debootstrap.log" >&2
    rm -f "$fresh.debootstrap.log"
    exit 1
}
rm -f "$fresh.debootstrap.log"
unmount_all
t_boot=$((SECONDS - t0))
say "debootstrap: $(elapsed "$t_boot")"

# What a newly installed machine has from the start: the same archives as
# this one, a resolver, a machine id (D-Bus wants one).
awk '{ print "deb", $1, $2, "main" }' <<<"$suites" >"$fresh/etc/apt/sources.list"
cp -L /etc/resolv.conf "$fresh/etc/resolv.conf"
# A mirror that stopped following testing serves a Release past its
# Valid-Until, which apt refuses; debootstrap does not check it.
valid="$(sed -n 's/^Valid-Until: //p' "$fresh"/var/lib/apt/lists/*_dists_"${release}"_Release 2>/dev/null | head -n 1)"
if [[ -n "$valid" ]] && (($(date -d "$valid" +%s) < $(date +%s))); then
    say "the mirror's $release expired on $valid: apt in the root is told to take it (Acquire::Check-Valid-Until false)"
    echo 'Acquire::Check-Valid-Until "false";' >"$fresh/etc/apt/apt.conf.d/99expired-mirror"
fi
od -An -N16 -tx1 /dev/urandom | tr -d ' \n' >"$fresh/etc/machine-id"
echo >>"$fresh/etc/machine-id"

git clone -q --no-checkout "$root" "$fresh/root/vortana"
git -C "$fresh/root/vortana" checkout -q --detach "$commit"

# /tmp and /dev/shm sticky and open to all, as on a machine: apt works in
# /tmp as its own _apt user.
inside() {
    bwrap --bind "$fresh" / --proc /proc --dev /dev --perms 1777 --tmpfs /tmp --perms 1777 --tmpfs /dev/shm \
        --ro-bind /sys /sys --cap-add ALL --chdir /root/vortana --die-with-parent \
        env -i HOME=/root USER=root LOGNAME=root SHELL=/bin/bash TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

status=0
if ((windows)); then
    t0=$SECONDS
    inside bash scripts/windows.sh --test 2>&1 | tee "$fresh/root/windows.log" || status=1
    t_win=$((SECONDS - t0))
    last="$(tail -n 1 "$fresh/root/windows.log")"
    [[ "$last" == "windows: tests passed in "* ]] || { status=1; say "the Windows tests gave no summary: $last"; }
    echo "fresh-check of ${commit:0:7} on $release, Windows: debootstrap $(elapsed "$t_boot"), windows.sh --test $(elapsed "$t_win"): $( ((status)) && echo FAILED || echo passed)"
    exit "$status"
fi

t0=$SECONDS
inside bash scripts/play.sh --version || status=1
t_play=$((SECONDS - t0))
say "bash scripts/play.sh --version: $(elapsed "$t_play"), $( ((status)) && echo failed || echo passed)"

t_test=0
if ((status == 0)); then
    t0=$SECONDS
    # Shown as it runs, and kept for its last line.
    inside bash scripts/test.sh 2>&1 | tee "$fresh/root/test.log" || status=1
    t_test=$((SECONDS - t0))
    last="$(tail -n 1 "$fresh/root/test.log")"
    [[ "$last" == steps:*"; skipped: none" ]] || { status=1; say "the test command skipped a check or gave no summary: $last"; }
    say "bash scripts/test.sh: $(elapsed "$t_test"), $( ((status)) && echo failed || echo passed)"
fi

echo "fresh-check of ${commit:0:7} on $release: debootstrap $(elapsed "$t_boot"), play.sh --version $(elapsed "$t_play"), test.sh $(elapsed "$t_test"): $( ((status)) && echo FAILED || echo passed)"
exit "$status"
