#!/usr/bin/env bash
# The window's cost while it plays, on a private virtual display and sound server:
#  1. time from the start of the program to its first frame (target: under 300 ms);
#  2. CPU time of 20 s with the window open and playing, against 20 s of headless play of the
#     same folder (target: the window adds at most 3 % of one core);
#  3. peak resident memory of the window mode (target: under 80 MB).
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
launcher_pid=""
bus_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill -9 "$app_pid" 2>/dev/null
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null
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
exit $status
