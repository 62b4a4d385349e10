#!/usr/bin/env bash
# Runs every test of each given build directory through ctest; fails if any run fails.
set -uo pipefail
status=0
for dir in "$@"; do
  echo "== tests in $dir"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" -j 2 --output-on-failure --timeout 300 || status=1
done
exit $status
