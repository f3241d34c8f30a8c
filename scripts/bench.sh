#!/usr/bin/env bash
# Builds if needed, then prints the performance figures as one table.
# Takes a few minutes, a minute of it idle play; run it on a quiet machine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
exec /usr/bin/python3 "$root/bench/run_bench.py" --build "${BUILD_DIR:-$root/build}" "$@"
