#!/usr/bin/env bash
# Cost of one repaint of the window with no display: ui::layout and ui::draw of the main panel,
# 500 frames into an image surface, with a real player playing a dated recording to the null
# sink of a private sound server (nothing is heard), in English and in Japanese. Target: a median
# frame of at most 3 ms of CPU time (the window redraws ten times a second: about 3 % of one
# core); the harness ends with status 1 when a median misses it. QM_BENCH_FRAMES sets the frames
# (default 500).
set -uo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "${1:-build}" && pwd)
harness="$build/bench/bench_frame"
[ -x "$harness" ] || { echo "missing $harness (build the project first)"; exit 1; }
work=$(mktemp -d /tmp/qm_bench_frame.XXXXXX)
cleanup() {
  stop_sound_server
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/pool" "$work/home"
start_sound_server "$work" || { echo "bench_frame: no sound server"; exit 1; }
make_tone_mp3 "$build" 60 "$work/pool/2024-05-03_14-30-00 Morgenrunde.mp3" ||
  { echo "bench_frame: could not make the test file"; exit 1; }

HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  "$harness" "$work/pool" "${QM_BENCH_FRAMES:-500}"
