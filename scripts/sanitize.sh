#!/usr/bin/env bash
# Builds the game and its tests with AddressSanitizer and UBSan in a second
# build folder and runs the whole suite there. Any report fails the run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${ASAN_BUILD_DIR:-$root/build-asan}"

cmake -S "$root" -B "$build_dir" -DVORTANA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build_dir" -j2

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
exec ctest --test-dir "$build_dir" --output-on-failure -j2 "$@"
