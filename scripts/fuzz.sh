#!/usr/bin/env bash
# Runs every fuzz program of a fuzz build for a set time each (default 60 s) on a working copy of
# its seed corpus and prints, per program, the inputs run and how many per second. Any finding
# (crash, sanitizer report, leak, hang, broken property) fails the run; libFuzzer leaves the input
# that caused it as <build>/findings/<name>-<kind>-<hash>: fix the cause, then add that file to
# tests/fuzz/corpus/<name>/ so that every later run tries it first.
set -uo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
seeds=$(cd "$(dirname "$0")/.." && pwd)/tests/fuzz/corpus
status=0
mkdir -p "$build/findings"
printf '%-14s %12s %11s  %s\n' program inputs "per second" result
for bin in "$build"/tests/fuzz/fuzz_*; do
  name=${bin##*/fuzz_}
  work=$build/fuzz-corpus/$name
  log=$build/fuzz-$name.log
  mkdir -p "$work"
  "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$name-" "$work" "$seeds/$name" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  result=ok
  if [ $rc -ne 0 ]; then
    result="FINDING (see $log)"
    status=1
  fi
  printf '%-14s %12s %11s  %s\n' "$name" "${runs:-?}" "${rate:-?}" "$result"
done
exit $status
