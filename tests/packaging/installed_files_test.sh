#!/usr/bin/env bash
# An installation into a temporary prefix, looked at as a desktop and a packager would: exactly
# the expected files, menu entry and metainfo accepted by their validators, every icon a picture
# of its size in the logo's colours, the man page naming exactly the options of the usage text.
# Usage: installed_files_test.sh <build folder>
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
root=$stage/usr
icons=()
for s in 16 22 24 32 48 64 128 256; do icons+=("share/icons/hicolor/${s}x${s}/apps/quavermill.png"); done
expected=$(printf '%s\n' bin/quavermill share/applications/quavermill.desktop \
  share/metainfo/org.quavermill.Quavermill.metainfo.xml share/man/man1/quavermill.1 \
  lib/systemd/user/quavermill@.service share/icons/hicolor/scalable/apps/quavermill.svg \
  "${icons[@]}" | sort)
actual=$(cd "$root" && find . -type f | sed 's|^\./||' | sort)
[[ $actual == "$expected" ]] || fail "installed files differ:"$'\n'"$(diff <(echo "$expected") <(echo "$actual"))"

desktop-file-validate "$root/share/applications/quavermill.desktop" || fail "desktop entry"
grep -qx 'Name\[de\]=.*\|GenericName\[de\]=.*' "$root/share/applications/quavermill.desktop" ||
  fail "no German texts in the desktop entry"
appstreamcli validate --no-net "$root/share/metainfo/org.quavermill.Quavermill.metainfo.xml" >/dev/null ||
  fail "metainfo: $(appstreamcli validate --no-net "$root/share/metainfo/org.quavermill.Quavermill.metainfo.xml")"
version=$("$root/bin/quavermill" --version | sed -n 's/^Quavermill \([^ ]*\) .*/\1/p')
grep -q "<release version=\"$version\"" "$root/share/metainfo/org.quavermill.Quavermill.metainfo.xml" ||
  fail "metainfo has no release entry for $version"
changelog=$(dirname "$0")/../../debian/changelog
[[ $(head -n1 "$changelog") == "quavermill ($version) "* ]] ||
  fail "debian/changelog does not begin with version $version: $(head -n1 "$changelog")"

# The logo's colours: the dark square near the bottom, the arc at six o'clock, the middle bar.
colour() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:; }
near() {  # r,g,b against r,g,b within 40 per channel (small sizes are antialiased)
  local IFS=,; local a=($1) b=($2)
  for i in 0 1 2; do (( ${a[i]} - ${b[i]} <= 40 && ${b[i]} - ${a[i]} <= 40 )) || return 1; done
}
check_logo() {  # file size
  local f=$1 n=$2 c=$(( $2 / 2 ))
  [[ $(identify -format '%m %w %h' "$f") == "PNG $n $n" ]] || fail "$f is not a $n pixel PNG"
  near "$(colour "$f" "$c" "$(( n * 93 / 100 ))")" 37,44,59 || fail "$f: no background colour"
  near "$(colour "$f" "$c" "$(( n * 844 / 1000 ))")" 63,155,245 || fail "$f: no arc colour"
  near "$(colour "$f" "$c" "$c")" 233,201,60 || fail "$f: no bar colour"
}
for s in 16 22 24 32 48 64 128 256; do
  [[ $s -lt 22 ]] && { identify -format '%m %w %h' "$root/share/icons/hicolor/16x16/apps/quavermill.png" | grep -qx 'PNG 16 16' || fail "16 pixel icon"; continue; }
  check_logo "$root/share/icons/hicolor/${s}x${s}/apps/quavermill.png" "$s"
done
rsvg-convert -w 128 -h 128 "$root/share/icons/hicolor/scalable/apps/quavermill.svg" -o "$stage/svg.png" ||
  fail "the scalable icon is no SVG"
check_logo "$stage/svg.png" 128

# The usage text cannot name the options that print it; everything else must match.
options() { grep -oE '(^|[^a-z-])--?[a-z][a-z-]*' | grep -oE -- '--?[a-z][a-z-]*' | sort -u; }
usage=$( { "$root/bin/quavermill" --help; printf '%s\n' --help -h; } | options)
man=$(sed 's/\\-/-/g' "$root/share/man/man1/quavermill.1" | options)
[[ $usage == "$man" ]] || fail "man page and usage text differ:"$'\n'"$(diff <(echo "$usage") <(echo "$man"))"
warnings=$(man --warnings -l -Tutf8 "$root/share/man/man1/quavermill.1" 2>&1 >/dev/null)
[[ -z $warnings ]] || fail "man page: $warnings"
echo "installation looks right"
