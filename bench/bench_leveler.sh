#!/usr/bin/env bash
# Leveler plus output meter per stereo frame, on a music-like and a noise signal: instructions
# counted by callgrind inside the two calls only (deterministic), and the wall time per frame
# of a longer plain run.
# Target: at most 15 instructions per stereo frame on both; with level matching off (--no-level),
# the music must cost less than with it on, since the gain work is skipped.
# Exit status 0 when met, 1 otherwise.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
harness="$build/bench/bench_leveler"
[ -x "$harness" ] && [ -x "$build/bench/bench_decode" ] ||
  { echo "missing $harness or bench_decode (build the project first)" >&2; exit 1; }
work=$(mktemp -d /tmp/qm_bench_leveler.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build/bench/bench_decode" pcm 10 >"$work/music.raw"

per_frame() {  # signal [off]: instructions inside Leveler::process and the meter, per frame
  valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" \
    --toggle-collect='Leveler::process*' --toggle-collect='sample_kernels::measure_stereo*' \
    "$harness" "$1" 10 ${2:-} >/dev/null 2>"$work/cg.log"
  sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$work/cg.log" | awk '{ printf "%.1f", $1 / (10 * 44100) }'
}

status=0
for signal in music noise; do
  input=$signal
  [ "$signal" = music ] && input="$work/music.raw"
  per=$(per_frame "$input")
  ns=$("$harness" "$input" 120 | sed -n 's/^ns_per_frame=//p')
  awk -v per="$per" -v ns="$ns" -v sig="$signal" 'BEGIN {
    printf "%s: %.1f instructions per stereo frame (target <= 15): %s; %.2f ns per frame\n", sig, per, (per <= 15 ? "met" : "missed"), ns
    exit (per <= 15) ? 0 : 1
  }' || status=1
  [ "$signal" = music ] && music=$per
done
off=$(per_frame "$work/music.raw" off)
awk -v off="$off" -v on="$music" 'BEGIN {
  printf "music, level matching off: %.1f instructions per stereo frame, against %.1f on: %s\n", off, on, (off < on ? "the gain work is skipped" : "no saving")
  exit (off < on) ? 0 : 1
}' || status=1
exit $status
