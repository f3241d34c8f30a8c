#!/usr/bin/env bash
# Builds if needed, then runs the whole test suite.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
exec ctest --test-dir "${BUILD_DIR:-$root/build}" --output-on-failure -j2
