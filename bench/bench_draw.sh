#!/usr/bin/env bash
# Drawing speed of one repaint with no display: a 940 x 744 frame cleared, 60 text calls, 40
# rounded rectangles and a level meter, into an image surface 500 times; the median frame time
# and the text calls per second. No target yet: the panel drawn on these primitives sets it.
# QM_BENCH_FRAMES sets the frames (default 500). Exit status 0 unless the harness fails.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
harness="$build/bench/bench_draw"
[ -x "$harness" ] || { echo "missing $harness (build the project first)" >&2; exit 1; }
"$harness" "${QM_BENCH_FRAMES:-500}"
