#!/usr/bin/env bash
# Headless play on a private PulseAudio server with a null sink:
#  1. steady playback against `mpg123 -o pulse` on the same music-like 192 kbit/s file and sink,
#     side by side: instructions per second of audio, counted by callgrind over every thread
#     (targets 0.95x mpg123's with level matching, 0.85x with --no-level: shown, but out of reach
#     while libmpg123's decode alone costs about 0.96x of mpg123's whole run, so they do not set
#     the exit status), and system calls per second counted by strace over every thread (target:
#     both Quavermill figures at most mpg123's); beside them the CPU time of
#     `--play --file F --seconds 20` against mpg123 playing the same 20 s of a tone, as a ratio
#     of the medians of three runs (target: at most 1.0);
#  2. peak resident memory of headless play from a pool of 100,000 files (target: under 64 MB);
#  3. a rescan of that pool while playing leaves no gap in the output.
# Exit status 1 when a target that sets it is missed or a measurement fails.
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
instructions() {  # command...: "instructions decoded_frames" of the whole run, every thread
  valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" "$@" >/dev/null 2>"$work/cg.log" ||
    return 1
  local total frames
  total=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$work/cg.log")
  frames=$(callgrind_annotate --auto=no --tree=calling "$work/cg.out" |
    sed -n 's/.*> *???:mpg123_decode_frame (\([0-9,]*\)x).*/\1/p' | tr -d , |
    awk '{ s += $1 } END { print s + 0 }')
  echo "$total $frames"
}
peak_kb() {  # runs the command with its output in play.txt, prints the peak resident KB
  /usr/bin/time -f "%M" -o "$work/time.txt" "$@" >"$work/play.txt" 2>&1
  cat "$work/time.txt"
}

status=0
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"

# Each player runs for about 5 s and for about 25 s of the same music-like file. Both decode
# with libmpg123, one call of mpg123_decode_frame per MPEG frame of 1152 samples, so the
# difference in instructions over the difference in decoded frames is the steady cost of one
# frame of audio, without start-up or the buffers' first fill, whatever the clock did under
# callgrind; at 44100 Hz a second holds 44100 / 1152 frames.
"$build/bench/bench_decode" pcm 40 |
  lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 192 --cbr - \
    "$work/music.mp3" 2>/dev/null || { echo "bench_play: could not make the music file"; exit 1; }
qm_play=("$qm" --play --file "$work/music.mp3" --device pulse:bench)
ref=(mpg123 -q -o pulse -a bench)
qm_runs="$(instructions "${qm_play[@]}" --seconds 5) $(instructions "${qm_play[@]}" --seconds 25)"
plain_runs="$(instructions "${qm_play[@]}" --no-level --seconds 5) $(instructions "${qm_play[@]}" --no-level --seconds 25)"
ref_runs="$(instructions "${ref[@]}" -n 191 "$work/music.mp3") $(instructions "${ref[@]}" -n 957 "$work/music.mp3")"
if [ "$(wc -w <<<"$qm_runs $plain_runs $ref_runs")" -ne 12 ]; then
  echo "bench_play: a player did not run to its end under callgrind"
  status=1
else
  awk -v qm="$qm_runs" -v plain="$plain_runs" -v ref="$ref_runs" 'function per_second(runs, r) {
      split(runs, r, " ")
      return r[4] > r[2] ? (r[3] - r[1]) / (r[4] - r[2]) * 44100 / 1152 / 1e6 : 0
    }
    function target(what, ours, theirs, most,   r) {
      r = theirs > 0 ? ours / theirs : 99
      printf "  target: %s at most %.2fx mpg123'"'"'s: %.2fx  %s\n", what, most, r, (r <= most ? "met" : "MISSED")
    }
    BEGIN {
      o = per_second(qm); p = per_second(plain); t = per_second(ref)
      printf "steady play: quavermill %.2f M instructions per second of audio (%.2f M with --no-level), mpg123 -o pulse %.2f M\n", o, p, t
      target("level matching on", o, t, 0.95)
      target("--no-level", p, t, 0.85)
      exit (o > 0 && p > 0 && t > 0) ? 0 : 1
    }' || { echo "bench_play: no instruction count"; status=1; }
fi

# The same difference of a long and a short run, in system calls per second of audio, by kind.
# strace slows every call alike, so the counts stand; the two runs leave start-up out.
long=16
short=6
frames() { echo $(($1 * 44100 / 1152)); }  # MPEG frames of 1152 samples in $1 s at 44100 Hz
seconds_of() { awk -v n="$1" 'BEGIN { printf "%.4f", n * 1152 / 44100 }'; }
syscalls "${qm_play[@]}" --seconds $long >"$work/qm.long" &&
  syscalls "${qm_play[@]}" --seconds $short >"$work/qm.short" &&
  syscalls "${qm_play[@]}" --no-level --seconds $long >"$work/plain.long" &&
  syscalls "${qm_play[@]}" --no-level --seconds $short >"$work/plain.short" &&
  syscalls "${ref[@]}" -n "$(frames $long)" "$work/music.mp3" >"$work/ref.long" &&
  syscalls "${ref[@]}" -n "$(frames $short)" "$work/music.mp3" >"$work/ref.short"
if [ $? -ne 0 ]; then
  echo "bench_play: a player did not run to its end under strace"
  status=1
else
  ref_seconds=$(awk -v a="$(seconds_of "$(frames $long)")" -v b="$(seconds_of "$(frames $short)")" \
    'BEGIN { print a - b }')
  calls_per_second "$work/qm.long" "$work/qm.short" $((long - short)) >"$work/qm.rate"
  calls_per_second "$work/plain.long" "$work/plain.short" $((long - short)) >"$work/plain.rate"
  calls_per_second "$work/ref.long" "$work/ref.short" "$ref_seconds" >"$work/ref.rate"
  total() { awk '$1 == "total" { print $2 }' "$1"; }
  kinds() { awk '$1 != "total" && n < 6 { printf "%s%s %s", (n++ ? ", " : ""), $1, $2 }' "$1"; }
  o=$(total "$work/qm.rate"); p=$(total "$work/plain.rate"); t=$(total "$work/ref.rate")
  echo "system calls per second of steady play: quavermill $o ($p with --no-level), mpg123 -o pulse $t (target: both at most mpg123's)"
  echo "  quavermill: $(kinds "$work/qm.rate")"
  echo "  --no-level: $(kinds "$work/plain.rate")"
  echo "  mpg123:     $(kinds "$work/ref.rate")"
  [ "$o" -le "$t" ] && [ "$p" -le "$t" ] || { echo "  over target"; status=1; }
fi

# 20 s at 48000 Hz are 834 MPEG frames of 1152 samples. Each player's figure is the median of
# three runs: a run costs well under a tenth of a second of CPU, so one run's noise decides a
# single comparison.
ours=()
theirs=()
for _ in 1 2 3; do
  ours+=("$(cpu_seconds "$qm" --play --file "$work/tone.mp3" --seconds 20 --device pulse:bench)")
  theirs+=("$(cpu_seconds mpg123 -q -o pulse -a bench -n 834 "$work/tone.mp3")")
done
case "${ours[*]}${theirs[*]}" in *failed*) echo "bench_play: a player did not run to its end"; exit 1 ;; esac
ours=$(median "${ours[@]}")
theirs=$(median "${theirs[@]}")
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
