#!/usr/bin/env bash
# Playlist speed on large pools: `next` at 1,000 to 1,000,000 files (constant time), and a
# refresh of 1,000,000 files in the middle of a round (target: under 0.5 s). The harness
# measures and judges; exit status 0 when both targets are met, 1 otherwise.
# QM_BENCH_RUNS sets the refresh trials (default 3). Needs about 1 GB of memory.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
harness="$build/bench/bench_playlist"
[ -x "$harness" ] || { echo "missing $harness (build the project first)" >&2; exit 1; }
"$harness" "${QM_BENCH_RUNS:-3}"
