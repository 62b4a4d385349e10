#!/usr/bin/env bash
# Runs every test of each given build directory through ctest; fails if any run fails.
set -uo pipefail
status=0
for dir in "$@"; do
  echo "== tests in $dir"
  # fontconfig links its cached patterns through encoded offsets, which LeakSanitizer cannot
  # follow; the suppression reaches the programs the tests start as well.
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=$(cd "$(dirname "$0")/.." && pwd)/tests/lsan.supp \
    ctest --test-dir "$dir" -j 2 --output-on-failure --timeout 300 || status=1
done
exit $status
