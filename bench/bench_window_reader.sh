#!/usr/bin/env bash
# The window benchmark again, with a screen reader's client reading the accessible tree every
# second: the same targets hold.
QM_BENCH_READER=1 exec bash "$(dirname "$0")/bench_window.sh" "$@"
