#!/usr/bin/env bash
# CPU cost of the audio output: 30 s of silence to a null sink of a private PulseAudio server,
# once through the PulseAudio path and once through ALSA "default" and its pulse plugin.
# Target: under 1 % of one core for each; the script fails when either misses it.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
harness="$build/bench/bench_audio_silence"
seconds="${BENCH_AUDIO_SECONDS:-30}"
[ -x "$harness" ] || { echo "missing $harness (build the project first)"; exit 1; }

source "$(dirname "$0")/lib.sh"
dir=$(mktemp -d)
cleanup() {
  stop_sound_server
  rm -rf "$dir"
}
trap cleanup EXIT
start_sound_server "$dir" || { echo "test server did not start"; exit 1; }

status=0
"$harness" pulse:bench "$seconds" || status=1
"$harness" "" "$seconds" || status=1
exit $status
