#!/usr/bin/env bash
# Sets up and builds, then runs everything that checks the game: the test
# suite, the same suite under AddressSanitizer and UBSan, and the fuzzers.
# The last line gives the counts and names every skipped test and why.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh" || exit 1
results="$(mktemp -d)"
trap 'rm -rf "$results"' EXIT

passed=0 failed=0
step() {
    echo "==== $1"
    shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "==== FAILED: $*"; fi
}
step "test suite" ctest --test-dir "${BUILD_DIR:-$root/build}" --output-on-failure -j2 --output-junit "$results/suite.xml"
step "test suite under ASan and UBSan" bash "$root/scripts/sanitize.sh" --output-junit "$results/asan.xml"
step "fuzzers" bash "$root/scripts/fuzz.sh"
echo "steps: $passed passed, $failed failed; skipped: $(python3 "$root/scripts/skipped.py" "$results"/*.xml)"
[ "$failed" -eq 0 ]
