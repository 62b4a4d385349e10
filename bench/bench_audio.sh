#!/usr/bin/env bash
# CPU cost of the audio output: 30 s of silence to a null sink of a private PulseAudio server,
# once through the PulseAudio path and once through ALSA "default" and its pulse plugin.
# Target: under 1 % of one core for each; the script fails when either misses it.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
harness="$build/bench/bench_audio_silence"
seconds="${BENCH_AUDIO_SECONDS:-30}"
[ -x "$harness" ] || { echo "missing $harness (build the project first)"; exit 1; }

dir=$(mktemp -d)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT

mkdir -p "$dir/runtime" "$dir/state"
HOME="$dir" PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" \
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --realtime=no \
  --no-cpu-limit --log-target=stderr \
  "--load=module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
  "--load=module-null-sink sink_name=bench format=s16le rate=48000 channels=2" \
  >"$dir/server.log" 2>&1 &
server_pid=$!
export PULSE_SERVER="unix:$dir/native"
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
pactl info >/dev/null || { echo "test server did not start"; cat "$dir/server.log"; exit 1; }

printf 'pcm.!default { type pulse server "%s" }\n' "$PULSE_SERVER" >"$dir/asound.conf"
export ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$dir/asound.conf"

status=0
"$harness" pulse:bench "$seconds" || status=1
"$harness" "" "$seconds" || status=1
exit $status
