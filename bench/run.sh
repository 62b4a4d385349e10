#!/usr/bin/env bash
# Runs every benchmark script of this folder against the given build directory.
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
status=0
for script in "$(dirname "$0")"/bench_*.sh; do
  [ -e "$script" ] || continue
  echo "== $(basename "$script" .sh)"
  bash "$script" "$build" || status=1
done
exit $status
