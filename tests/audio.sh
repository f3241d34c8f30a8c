#!/usr/bin/env bash
# Runs a command with an audio server of its own: PulseAudio with one null
# sink, "vortana", whose monitor hears what plays, on a socket of its own
# (PULSE_SERVER), whether or not the machine runs a sound server.
# Usage: audio.sh COMMAND ARGS...
set -euo pipefail
dir="$(mktemp -d)"
pid=""
# shellcheck disable=SC2317  # run by the EXIT trap
stop() { [[ -z "$pid" ]] || { kill "$pid"; wait "$pid"; } 2>/dev/null; rm -rf "$dir"; }
trap stop EXIT
mkdir -m 700 "$dir/run"
# Its own home and runtime folder: nothing of a desktop's server is touched.
# -n: no default script, so no hardware, D-Bus or X11 modules.
HOME="$dir" XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state" \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=file:"$dir/server.log" \
    --load="module-null-sink sink_name=vortana rate=44100 channels=1" \
    --load="module-native-protocol-unix socket=$dir/native auth-anonymous=1" 2>>"$dir/server.log" &
pid=$!
export PULSE_SERVER="unix:$dir/native" PULSE_SINK=vortana
for _ in $(seq 100); do pactl info >/dev/null 2>&1 || ! kill -0 "$pid" 2>/dev/null && break; sleep 0.1; done
pactl info >/dev/null || { cat "$dir/server.log" >&2; echo "audio.sh: the audio server did not start" >&2; exit 1; }
"$@"
