#!/usr/bin/env bash
# Decode plus level matching against plain decoding: a 10-minute 44.1 kHz stereo 192 kbit/s file,
# made here from synthesised PCM, through the program's decoder and leveler in blocks of a tenth
# of a second, and through `mpg123 -q -t` (decode only). Several runs of each, alternating so
# that both meet the same machine load; the median CPU times are compared.
# Target: at least 0.95 of mpg123's throughput. Exit status 0 when met, 1 otherwise.
# QM_BENCH_RUNS sets the runs (default 3).
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
harness="$build/bench/bench_decode"
runs=${QM_BENCH_RUNS:-3}
[ -x "$harness" ] || { echo "missing $harness (build the project first)" >&2; exit 1; }

work=$(mktemp -d /tmp/qm_bench_decode.XXXXXX)
trap 'rm -rf "$work"' EXIT
file="$work/ten_minutes.mp3"
# lame warns that it might seek in raw input from a pipe; it does not, so the warning is kept
# out of sight unless the encoding fails.
"$harness" pcm 600 |
  lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 192 --cbr - "$file" \
    2>"$work/lame.log" ||
  { cat "$work/lame.log" >&2; echo "bench_decode: could not make the test file" >&2; exit 1; }

source "$(dirname "$0")/lib.sh"

# Ours is the harness's own CPU measure from open to the last block; mpg123's is its whole
# process, start-up included, a few milliseconds against more than a second of decoding.
ours=()
theirs=()
for ((r = 0; r < runs; r++)); do
  "$harness" "$file" >"$work/ours.txt"
  ours+=("$(sed -n 's/^realtime_factor=//p' "$work/ours.txt")")
  /usr/bin/time -f "%U %S" -o "$work/time.txt" mpg123 -q -t "$file"
  theirs+=("$(awk '{ print $1 + $2 }' "$work/time.txt")")
done
head -n -1 "$work/ours.txt"
audio=$(sed -n 's/^decoded \([0-9.]*\) s of audio.*/\1/p' "$work/ours.txt")
ours_factor=$(median "${ours[@]}")
theirs_cpu=$(median "${theirs[@]}")
awk -v a="$audio" -v o="$ours_factor" -v c="$theirs_cpu" -v n="$runs" 'BEGIN {
  t = c > 0 ? a / c : 0
  ratio = t > 0 ? o / t : 0
  printf "decode + level: %.1f x realtime; mpg123 -t: %.1f x realtime (%.3f s CPU); median of %d\n", o, t, c, n
  printf "ratio %.2f (target >= 0.95): %s\n", ratio, (ratio >= 0.95 ? "met" : "missed")
  exit (ratio >= 0.95) ? 0 : 1
}'
