#!/usr/bin/env bash
# Makes the README's pictures of the window, light and dark, on a private virtual display while
# the window plays a generated recording to a private sound server:
#   bash scripts/screenshots.sh [build]   →   docs/window-light.png, docs/window-dark.png
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
cmake --build "$build" --target quavermill qm_write_settings bench_play_pool >/dev/null
source "$root/bench/lib.sh"
work=$(mktemp -d /tmp/qm_screenshots.XXXXXX)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill -9 "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  stop_sound_server
  rm -rf "$work" "${music:-}"
}
trap cleanup EXIT

start_sound_server "$work"
n=97
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$n"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# A folder with a short, plausible path: the path shows in the window.
music=/tmp/Aufnahmen
[ -e "$music" ] && music=/tmp/Aufnahmen.$$
mkdir -p "$music"
for name in "2026-05-03 08.15 Morgenandacht" "2026-05-03 12.00 Mittagslaeuten" \
            "2026-05-04 18.30 Abendkonzert"; do
  make_tone_mp3 "$build" 240 "$music/$name.mp3"
done
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime"

for theme in light dark; do
  "$build/tests/qm_write_settings" "$music" "$theme" en
  "$build/quavermill" >/dev/null 2>&1 &
  app_pid=$!
  win=""
  for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --name '^Quavermill$' 2>/dev/null | head -n 1) && [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || { echo "screenshots: no window"; exit 1; }
  sleep 4  # a few seconds of play fill the meter and the position
  import -window "$win" "$root/docs/window-$theme.png"
  kill "$app_pid"; wait "$app_pid" 2>/dev/null || true; app_pid=""
done
echo "written: docs/window-light.png docs/window-dark.png"
