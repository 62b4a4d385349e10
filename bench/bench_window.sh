#!/usr/bin/env bash
# The window's cost while it plays, on a private virtual display and sound server:
#  1. time from the start of the program to its first frame (target: under 300 ms);
#  2. CPU time of 20 s with the window open and playing, against 20 s of headless play of the
#     same folder (target: the window adds at most 3 % of one core);
#  3. peak resident memory of the window mode (target: under 80 MB);
#  4. without the screen reader, CPU time of the window playing a 192 kbit/s recording of
#     music-like sound against Audacious (Debian's, its default interface) playing the same file
#     on the same display and sound server (target: no more than Audacious).
# With QM_BENCH_READER=1 (bench_window_reader.sh) a screen reader's client reads the window's
# whole accessible tree every second meanwhile, over a private session and accessibility bus.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "${1:-build}" && pwd)
qm="$build/quavermill"
harness="$build/bench/bench_play_pool"
seconds=20
work=$(mktemp -d /tmp/qm_bench_window.XXXXXX)
xvfb_pid=""
app_pid=""
reader=${QM_BENCH_READER:-0}
client_pid=""
audacious_pid=""
launcher_pid=""
bus_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill -9 "$app_pid" 2>/dev/null
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null
  [ -n "$audacious_pid" ] && kill -9 "$audacious_pid" 2>/dev/null
  [ -n "$launcher_pid" ] && kill "$launcher_pid" 2>/dev/null
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  stop_sound_server
  rm -rf "$work"
}
trap cleanup EXIT

start_sound_server "$work" || { echo "bench_window: no sound server"; exit 1; }
for n in $(seq 90 160); do
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    DISPLAY=":$n" xdotool getdisplaygeometry >/dev/null 2>&1 && break 2
    kill -0 "$xvfb_pid" 2>/dev/null || continue 2
    sleep 0.1
  done
done
export DISPLAY=":$n"
xdotool getdisplaygeometry >/dev/null 2>&1 || { echo "bench_window: no virtual display"; exit 1; }

mkdir -p "$work/music"
make_tone_mp3 "$build" 60 "$work/music/tone.mp3" || { echo "bench_window: no test file"; exit 1; }
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime"
log="$XDG_CONFIG_HOME/Quavermill/Quavermill.log"
ticks=$(getconf CLK_TCK)

label=""
if [ "$reader" = 1 ]; then
  label=" (a screen reader reading every second)"
  mkdir -p "$work/bus-runtime" && chmod 700 "$work/bus-runtime"
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/bus" >/dev/null 2>&1 &
  bus_pid=$!
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
  unset NO_AT_BRIDGE
  for _ in $(seq 100); do [ -S "$work/bus" ] && break; sleep 0.05; done
  XDG_RUNTIME_DIR="$work/bus-runtime" /usr/libexec/at-spi-bus-launcher --launch-immediately \
    >/dev/null 2>&1 &
  launcher_pid=$!
  for _ in $(seq 100); do
    dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus \
      org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
    sleep 0.05
  done
fi

# The saved settings start playback when the window opens; --folder names the folder.
start_ns=$(date +%s%N)
"$qm" --folder "$work/music" --no-window-files --no-window-play >/dev/null 2>&1 &
app_pid=$!
first_ms=""
for _ in $(seq 2000); do
  if grep -q "Erstes Bild" "$log" 2>/dev/null; then
    first_ms=$(( ($(date +%s%N) - start_ns) / 1000000 )); break
  fi
  sleep 0.005
done
[ -n "$first_ms" ] || { echo "bench_window: the window drew nothing"; exit 1; }
if [ "$reader" = 1 ]; then
  /usr/bin/python3 "$(dirname "$0")/../tests/tools/at_client.py" poll "$seconds" 1 >/dev/null 2>&1 &
  client_pid=$!
fi
sleep "$seconds"
read -r -a stat <"/proc/$app_pid/stat"
window_cpu=$(awk -v u="${stat[13]}" -v s="${stat[14]}" -v t="$ticks" 'BEGIN { printf "%.3f", (u + s) / t }')
peak_kb=$(awk '/^VmHWM/ { print $2 }' "/proc/$app_pid/status")
grep -q "spielt: " "$log" || { echo "bench_window: the window did not play"; exit 1; }
if [ "$reader" = 1 ] && ! grep -q "Bildschirmleser" "$log"; then
  echo "bench_window: no screen reader reached the window"; exit 1
fi
kill "$app_pid"; wait "$app_pid" 2>/dev/null; app_pid=""

headless_cpu=$("$harness" cpu "$qm" --play "$work/music" --no-window-files --no-window-play \
                 --seconds "$seconds") || { echo "bench_window: headless play failed"; exit 1; }

# The CPU seconds process $1 has used so far; with $2, those of its thread $2.
cpu_seconds() {
  local stat
  read -r -a stat <"/proc/$1${2:+/task/$2}/stat" || return 1
  awk -v u="${stat[13]}" -v s="${stat[14]}" -v t="$ticks" 'BEGIN { printf "%.3f", (u + s) / t }'
}

# True once process $1 has a stream on the sound server.
plays_on_server() {
  pactl list sink-inputs 2>/dev/null | grep -q "application.process.id = \"$1\""
}

# The CPU seconds process $1 uses in $compare_seconds from the moment its stream appears, and
# those of its first thread, which runs the window; fails when the stream never appears or the
# process ends.
cpu_while_playing() {
  local pid=$1 before after main_before main_after
  for _ in $(seq 300); do
    plays_on_server "$pid" && break
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.05
  done
  plays_on_server "$pid" || return 1
  before=$(cpu_seconds "$pid") && main_before=$(cpu_seconds "$pid" "$pid") || return 1
  sleep "$compare_seconds"
  plays_on_server "$pid" || return 1
  after=$(cpu_seconds "$pid") && main_after=$(cpu_seconds "$pid" "$pid") || return 1
  awk -v a="$after" -v b="$before" -v ma="$main_after" -v mb="$main_before" \
    'BEGIN { printf "%.3f %.3f", a - b, ma - mb }'
}

# "cpu main-thread-cpu resident-KB" of the player `$1` while it plays; nothing when it does not.
song_figures() {
  local cpu main
  read -r cpu main < <(cpu_while_playing "$1")
  [ -n "$cpu" ] || return 1
  echo "$cpu $main $(awk '/^VmRSS/ { print $2 }' "/proc/$1/status")"
}

# A steady tone costs a decoder and a meter less than music does: the side by side comparison
# plays chords, a bass line, an arpeggio and drums (an 8 s loop) at 44.1 kHz, 192 kbit/s.
make_music_mp3() {
  local seconds=$1 out=$2
  /usr/bin/python3 - "$seconds" "$out.raw" <<'EOF' &&
import array, math, random, sys
rate, seconds, out = 44100, float(sys.argv[1]), sys.argv[2]
chords = [(48, 60, 64, 67), (45, 57, 60, 64), (41, 57, 60, 65), (43, 55, 59, 62)]
hz = lambda m: 440.0 * 2 ** ((m - 69) / 12)
noise = random.Random(7)
loop = array.array('h')
for bass, *notes in chords:
    arp = notes + [notes[1] + 12]
    for i in range(2 * rate):  # a bar of four beats at 120 per minute
        t = i / rate
        in_beat = t % 0.5
        eighth = int(t / 0.25)
        in_eighth = t - eighth * 0.25
        f = hz(bass)
        low = (math.sin(2 * math.pi * f * t) + 0.3 * math.sin(4 * math.pi * f * t)) * math.exp(-3 * in_beat)
        pad = sum(math.sin(2 * math.pi * hz(m) * t) + 0.2 * math.sin(6 * math.pi * hz(m) * t) for m in notes) / 3
        pad *= min(1.0, t * 4)
        fm = hz(arp[eighth % 4] + 12)
        lead = math.sin(2 * math.pi * fm * t + 0.8 * math.sin(4 * math.pi * fm * t)) * math.exp(-9 * in_eighth)
        kick = math.sin(2 * math.pi * (50 + 90 * math.exp(-30 * in_beat)) * in_beat) * math.exp(-12 * in_beat)
        hat = (noise.random() * 2 - 1) * math.exp(-60 * in_eighth) if eighth % 2 else 0.0
        left = 0.30 * low + 0.18 * pad + 0.20 * lead + 0.35 * kick + 0.10 * hat
        right = 0.30 * low + 0.18 * pad + 0.12 * lead + 0.35 * kick + 0.16 * hat
        loop.append(int(max(-1, min(1, left)) * 32000))
        loop.append(int(max(-1, min(1, right)) * 32000))
whole, rest = divmod(int(rate * seconds) * 2, len(loop))
with open(out, 'wb') as f:
    for _ in range(whole): loop.tofile(f)
    loop[:rest].tofile(f)
EOF
    lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 192 --cbr \
      "$out.raw" "$out" 2>/dev/null
  local status=$?
  rm -f "$out.raw"
  return $status
}

compare=""
if [ "$reader" != 1 ]; then
  compare_seconds=${QM_BENCH_COMPARE_SECONDS:-40}
  command -v audacious >/dev/null || { echo "bench_window: audacious is not installed"; exit 1; }
  mkdir -p "$work/song"
  make_music_mp3 $((compare_seconds + 10)) "$work/song/song.mp3" ||
    { echo "bench_window: no music file"; exit 1; }
  # Both players get the same private session bus; neither reaches the user's.
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/bus" >/dev/null 2>&1 &
  bus_pid=$!
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
  for _ in $(seq 100); do [ -S "$work/bus" ] && break; sleep 0.05; done

  "$qm" --folder "$work/song" --no-window-files --no-window-play >/dev/null 2>&1 &
  app_pid=$!
  read -r qm_song_cpu qm_song_main qm_song_kb < <(song_figures "$app_pid")
  kill "$app_pid"; wait "$app_pid" 2>/dev/null; app_pid=""
  [ -n "$qm_song_kb" ] || { echo "bench_window: the window did not play the music"; exit 1; }

  # Audacious keeps its settings, playlists and cache under a home of its own.
  aud="$work/audacious"
  mkdir -p "$aud/config" "$aud/data" "$aud/cache"
  HOME="$aud" XDG_CONFIG_HOME="$aud/config" XDG_DATA_HOME="$aud/data" \
    XDG_CACHE_HOME="$aud/cache" audacious --play "$work/song/song.mp3" >/dev/null 2>&1 &
  audacious_pid=$!
  read -r aud_song_cpu aud_song_main aud_song_kb < <(song_figures "$audacious_pid")
  kill "$audacious_pid"; wait "$audacious_pid" 2>/dev/null; audacious_pid=""
  [ -n "$aud_song_kb" ] || { echo "bench_window: Audacious did not play the music"; exit 1; }
  compare=1
fi

status=0
echo "first frame ${first_ms} ms after the start (target < 300 ms)"
[ "$first_ms" -lt 300 ] || { echo "  over target"; status=1; }
share=$(awk -v w="$window_cpu" -v h="$headless_cpu" -v s="$seconds" \
          'BEGIN { printf "%.2f", 100 * (w - h) / s }')
echo "CPU for ${seconds} s of play${label}: window ${window_cpu} s, headless ${headless_cpu} s," \
     "the window adds ${share} % of one core (target <= 3 %)"
awk -v p="$share" 'BEGIN { exit !(p <= 3.0) }' || { echo "  over target"; status=1; }
echo "peak memory of the window mode${label}: $((peak_kb / 1024)) MB (target < 80 MB)"
[ "$peak_kb" -lt 81920 ] || { echo "  over target"; status=1; }
if [ -n "$compare" ]; then
  awk -v q="$qm_song_cpu" -v a="$aud_song_cpu" -v s="$compare_seconds" -v qk="$qm_song_kb" \
      -v ak="$aud_song_kb" -v qm="$qm_song_main" -v am="$aud_song_main" 'BEGIN {
    printf "CPU for %d s of a 192 kbit/s recording on the window:\n", s
    printf "  Quavermill %.3f s (%.2f %% of one core; window thread %.3f s; %d MB resident)\n",
      q, 100 * q / s, qm, qk / 1024
    printf "  Audacious  %.3f s (%.2f %% of one core; window thread %.3f s; %d MB resident)\n",
      a, 100 * a / s, am, ak / 1024
    printf "  (target: Quavermill <= Audacious)\n" }'
  awk -v q="$qm_song_cpu" -v a="$aud_song_cpu" 'BEGIN { exit !(q <= a) }' ||
    { echo "  over target"; status=1; }
fi
exit $status
