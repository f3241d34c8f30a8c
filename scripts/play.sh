#!/usr/bin/env bash
# Installs and builds what playing needs (no tests), then starts the game.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh" --play
exec "${BUILD_DIR:-$root/build}/vortana" "$@"
