#!/usr/bin/env bash
# New recordings joining a playing pool of 100,000 files in 1,000 folders on a private
# PulseAudio server: 1,000 files copied in, one every 50 ms. Targets: each joins within 2 s
# (median and maximum printed); the player's CPU time during the copy at most 5 % of one core
# over playing without changes; the watches of the 1,000 folders under 2 MB. The harness
# measures and judges; exit status 0 when all targets are met.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "${1:-build}" && pwd)
harness="$build/bench/bench_watch"
[ -x "$harness" ] || { echo "missing $harness (build the project first)" >&2; exit 1; }
work=$(mktemp -d /tmp/qm_bench_watch.XXXXXX)
cleanup() {
  stop_sound_server
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/home" "$work/pool"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
start_sound_server "$work" || { echo "bench_watch: no sound server"; exit 1; }
make_tone_mp3 "$build" 2 "$work/tone.mp3" || { echo "bench_watch: could not make the test file"; exit 1; }
"$harness" make "$work/pool" "$work/tone.mp3" || { echo "bench_watch: no pool"; exit 1; }

status=0
"$harness" memory "$work/pool" || status=1
"$harness" join "$work/pool" "$work/tone.mp3" bench || status=1
exit $status
