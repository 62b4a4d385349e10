#!/usr/bin/env bash
# Builds quavermill_<version>_<arch>.deb with dpkg-buildpackage from a copy of the tracked files,
# so that its output lands in the given folder. Usage: make_deb.sh <folder>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
src=$out/quavermill
rm -rf "$src" "$out"/quavermill_* "$out"/quavermill-dbgsym_*
mkdir -p "$src"
(cd "$root" && git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$src")
(cd "$src" && dpkg-buildpackage -us -uc -b)
ls "$out"/quavermill_*.deb
