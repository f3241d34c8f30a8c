#!/usr/bin/env bash
# Builds if needed, then starts the game.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
exec "${BUILD_DIR:-$root/build}/vortana" "$@"
