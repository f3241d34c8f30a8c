#!/usr/bin/env bash
# scripts/setup.sh on systems faked through VORTANA_OS_RELEASE, with sudo,
# apt-get, apt-cache, dpkg-query and cmake stubbed on PATH: nothing is
# installed or built. The stub archive offers every package but clang's
# runtime, and its clang is 21. Usage: setup_archive.sh SOURCE-DIR
set -u
stubs="$(mktemp -d)"
trap 'rm -rf "$stubs"' EXIT
cat >"$stubs/stub" <<'EOF'
#!/bin/sh
echo "${0##*/} $*" >>"$STUB_LOG"
case ${0##*/} in
sudo) exec "$@" ;;
dpkg-query) [ -n "$STUB_INSTALLED" ] && echo "install ok installed" ;;
apt-cache)
    shift
    for p; do
        case $p in
        libclang-rt-*) ;;
        clang) printf '%s:\n  Installed: (none)\n  Candidate: 1:21.1.8-3\n' "$p" ;;
        *) printf '%s:\n  Installed: (none)\n  Candidate: 1.0-1\n' "$p" ;;
        esac
    done ;;
apt-get) case " $* " in *" update "*) ;; *) exit 1 ;; esac ;;
esac
EOF
chmod +x "$stubs/stub"
for tool in sudo dpkg-query apt-cache apt-get cmake; do ln -s stub "$stubs/$tool"; done

src="$1"
failed=0
fail() { echo "FAIL $*"; failed=1; }
# expect NAME STATUS LINE OS-RELEASE INSTALLED [SETUP-ARG]: the run's exit
# status and its last line on stderr.
expect() {
    printf '%s\n' "$4" >"$stubs/os-release"
    : >"$stubs/log"
    local err status
    err="$(PATH="$stubs:$PATH" STUB_LOG="$stubs/log" STUB_INSTALLED="$5" VORTANA_OS_RELEASE="$stubs/os-release" \
        bash "$src/scripts/setup.sh" "${@:6}" 2>&1 >/dev/null)"
    status=$?
    [[ $status == "$2" && "${err##*$'\n'}" == "$3" ]] ||
        fail "$1: status $status and last line '${err##*$'\n'}', not $2 and '$3'"
}
expect forky 1 "setup: Debian GNU/Linux forky/sid has no package: libclang-rt-21-dev" 'PRETTY_NAME="Debian GNU/Linux forky/sid"
ID=debian' ""
grep -q "^apt-get .*install" "$stubs/log" && fail "forky: apt-get install ran"
expect "Ubuntu, --play" 0 "" 'PRETTY_NAME="Ubuntu 24.04.3 LTS"
ID=ubuntu
ID_LIKE=debian' yes --play
grep -q "^cmake .*-DBUILD_TESTING=OFF" "$stubs/log" || fail "Ubuntu, --play: no build without the tests"
grep -q "^apt" "$stubs/log" && fail "Ubuntu, --play: apt ran with everything installed"
expect Fedora 1 "setup: a Debian-based system expected (ID=debian or ID_LIKE with debian in os-release), not 'Fedora Linux 43'" \
    'PRETTY_NAME="Fedora Linux 43"
ID=fedora' "" --play
exit "$failed"
