#!/usr/bin/env bash
# Headless play on a private PulseAudio server with a null sink:
#  1. CPU time of `--play --file F --seconds 20` against mpg123 playing the same 20 s of the same
#     file to the same sink, as a ratio (target: at most 1.0);
#  2. peak resident memory of headless play from a pool of 100,000 files (target: under 64 MB);
#  3. a rescan of that pool while playing leaves no gap in the output.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "${1:-build}" && pwd)
qm="$build/quavermill"
harness="$build/bench/bench_play_pool"
[ -x "$harness" ] || harness=$(find "$build" -name bench_play_pool -type f -perm -u+x | head -n 1)
work=$(mktemp -d /tmp/qm_bench_play.XXXXXX)
cleanup() {
  stop_sound_server
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/home" "$work/pool"
start_sound_server "$work" || { echo "bench_play: no sound server"; exit 1; }

make_tone_mp3 "$build" 60 "$work/tone.mp3" || { echo "bench_play: could not make the test file"; exit 1; }

cpu_seconds() { "$harness" cpu "$@" || echo "failed"; }
peak_kb() {  # runs the command with its output in play.txt, prints the peak resident KB
  /usr/bin/time -f "%M" -o "$work/time.txt" "$@" >"$work/play.txt" 2>&1
  cat "$work/time.txt"
}

status=0
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"

# 20 s at 48000 Hz are 834 MPEG frames of 1152 samples.
ours=$(cpu_seconds "$qm" --play --file "$work/tone.mp3" --seconds 20 --device pulse:bench)
theirs=$(cpu_seconds mpg123 -q -o pulse -a bench -n 834 "$work/tone.mp3")
case "$ours$theirs" in *failed*) echo "bench_play: a player did not run to its end"; exit 1 ;; esac
ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 99) }')
echo "CPU for 20 s of play: quavermill ${ours} s, mpg123 ${theirs} s, ratio ${ratio} (target <= 1.0)"
awk -v r="$ratio" 'BEGIN { exit !(r <= 1.0) }' || { echo "  over target"; status=1; }

"$harness" make "$work/pool" "$work/tone.mp3" 100000 || { echo "bench_play: no pool"; exit 1; }
kb=$(peak_kb "$qm" --play "$work/pool" --no-window-files --no-window-play --seconds 20 \
       --device pulse:bench)
echo "peak memory, pool of 100000 files: $((kb / 1024)) MB (target < 64 MB)"
[ "$kb" -lt 65536 ] || { echo "  over target"; status=1; }
# The name line shows the pool the first track came from; without it the figure means nothing.
grep -q "100000 im Vorrat" "$work/play.txt" ||
  { echo "  the pool was not (fully) taken: the figure does not count"; status=1; }

"$harness" rescan "$work/pool" bench
case $? in
  0) ;;
  1) echo "  gap in the output during the rescan"; status=1 ;;
  *) echo "  could not measure the output during the rescan"; status=1 ;;
esac
exit $status
