#!/usr/bin/env bash
# make install and make uninstall into a temporary prefix: uninstall leaves the prefix exactly as
# it was before, and a prefix that cannot be written gets a clear error and keeps nothing.
# Usage: install_uninstall_test.sh <build folder>
set -euo pipefail
build=$1
script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/install.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
snapshot() { (cd "$1" && find . -printf '%y %m %p\n' | sort); }

prefix=$work/prefix
mkdir -p "$prefix/share/applications" "$prefix/bin"
echo "[Desktop Entry]" > "$prefix/share/applications/other.desktop"
before=$(snapshot "$prefix")
bash "$script" install "$build" "$prefix" >/dev/null
[[ -x $prefix/bin/quavermill && -f $prefix/share/icons/hicolor/256x256/apps/quavermill.png ]] ||
  fail "install put nothing in place"
bash "$script" uninstall "$build" "$prefix" >/dev/null
after=$(snapshot "$prefix")
[[ $after == "$before" ]] || fail "uninstall left the prefix changed:"$'\n'"$(diff <(echo "$before") <(echo "$after"))"

# A file where the prefix needs a folder: refused before anything is copied.
blocked=$work/blocked
mkdir -p "$blocked"
echo "not a folder" > "$blocked/share"
before=$(snapshot "$blocked")
if err=$(bash "$script" install "$build" "$blocked" 2>&1); then fail "install into $blocked succeeded"; fi
[[ $err == *"cannot write to $blocked/share"*"nothing was installed"* ]] || fail "unclear error: $err"
[[ $(snapshot "$blocked") == "$before" ]] || fail "a refused install left files behind"
echo "install and uninstall leave the prefix as it was"
