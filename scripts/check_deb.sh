#!/usr/bin/env bash
# CI: the .deb built from the tree installs with apt-get, its program runs from /usr/bin (version,
# usage, a scan of a generated folder, a login entry naming /usr/bin/quavermill), lintian shows
# no error, and the package removes again. Run as root. Usage: check_deb.sh <folder of the .deb>
set -euo pipefail
deb=$(ls "$1"/quavermill_*.deb)
fail() { echo "FAIL: $*"; exit 1; }
lintian --tag-display-limit 0 "$deb" | tee "$1/lintian.txt"
! grep -q '^E:' "$1/lintian.txt" || fail "lintian reports errors"
DEBIAN_FRONTEND=noninteractive apt-get install -y "$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
/usr/bin/quavermill --version
/usr/bin/quavermill --help >/dev/null
mkdir -p "$work/rec/sub"
for name in 2024-05-03_07-15-00.mp3 2024-05-03_08-02-10.mp3 sub/2024-05-04_12-00-00.mp3; do
  head -c 4096 /dev/zero > "$work/rec/$name"
done
out=$(/usr/bin/quavermill --scan "$work/rec")
echo "$out"
[[ $out == *"3 passen"* ]] || fail "the scan did not find the three files"
/usr/bin/quavermill --autostart on >/dev/null
grep -qx 'Exec=/usr/bin/quavermill' "$HOME/.config/autostart/Quavermill.desktop" || fail "login entry"
DEBIAN_FRONTEND=noninteractive apt-get purge -y quavermill
[[ ! -e /usr/bin/quavermill ]] || fail "the package left /usr/bin/quavermill behind"
echo "the package installs, runs and removes"
