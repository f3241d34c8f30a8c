#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time,
# starting from the corpus kept in fuzz/corpus (new inputs go to a scratch
# copy, so the repo stays clean). Any crash or leak fails the run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${FUZZ_SECONDS:-30}"

CXX=clang++ cmake -S "$root" -B "$build_dir" -DVORTANA_FUZZ=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(fuzz_leading_number fuzz_record_file fuzz_record_decision)
cmake --build "$build_dir" -j2 --target "${targets[@]}"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=0
for t in "${targets[@]}"; do
    name="${t#fuzz_}"
    mkdir -p "$scratch/$name"
    if "$build_dir/$t" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$scratch/" "$scratch/$name" "$root/fuzz/corpus/$name" >"$scratch/$name.log" 2>&1; then
        echo "fuzz $name: $(grep -E '^stat::number_of_executed_units' "$scratch/$name.log" | awk '{print $2}') runs, no failure"
    else
        echo "fuzz $name: FAILED"
        tail -n 60 "$scratch/$name.log"
        for a in "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-* "$scratch"/oom-*; do
            [ -e "$a" ] && echo "reproducer (base64): $(base64 -w0 "$a")"
        done
        failed=1
    fi
done
exit "$failed"
