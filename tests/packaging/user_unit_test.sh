#!/usr/bin/env bash
# The systemd user unit: systemd accepts it, and its command, run as the unit runs it for an
# instance, plays exactly the folder named (blanks and umlauts included), ends within a second
# of SIGTERM with its log complete, and ends with status 3 and the German line for a folder that
# does not exist (a status the unit's restart policy retries).
# Usage: user_unit_test.sh <build folder>
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

DESTDIR=$work/stage cmake --install "$build" --prefix /usr >/dev/null
unit=$work/stage/usr/lib/systemd/user/quavermill@.service
exe=$work/stage/usr/bin/quavermill

if command -v systemd-analyze >/dev/null; then
  # The unit's program must exist where it points; the staged one stands in for it.
  mkdir -p "$work/units"
  sed "s|^ExecStart=[^ ]*|ExecStart=$exe|" "$unit" > "$work/units/quavermill@srv-aufnahmen.service"
  out=$(systemd-analyze verify --man=no "$work/units/quavermill@srv-aufnahmen.service" 2>&1) ||
    fail "systemd-analyze: $out"
  [[ -z $out ]] || fail "systemd-analyze: $out"
else
  echo "no systemd-analyze here: the unit's syntax is not checked"
fi
grep -qx 'RestartPreventExitStatus=2' "$unit" || fail "a usage error would be retried"

# The command line of the unit for the folder `$1`, as systemd expands %f of the instance.
start() {
  local instance; instance=$(systemd-escape --path "$1")
  local folder; folder=$(systemd-escape --unescape --path "$instance")
  local line; line=$(sed -n 's/^ExecStart=//p' "$unit")
  local env; env=$(sed -n 's/^Environment=//p' "$unit")
  eval "set -- ${line//%f/\$folder}"
  shift
  HOME=$work/home XDG_CONFIG_HOME=$work/home/.config env $env "$exe" "$@" >"$work/out" 2>/dev/null &
  pid=$!
}
log=$work/home/.config/Quavermill/Quavermill.log

folder="$work/Mein Ordner mit Umlauten äöü"
mkdir -p "$folder"
head -c 200000 /dev/zero > "$folder/2024-05-03_10-00-00.mp3"
start "$folder"
for _ in $(seq 300); do grep -qF "Treffer in $folder" "$log" 2>/dev/null && break; sleep 0.1; done
grep -qF "Treffer in $folder" "$log" || { kill $pid; fail "the folder was not scanned: $(cat "$log")"; }
before=$(cat "$log")
t0=$(date +%s%N)
kill -TERM $pid
wait $pid && status=0 || status=$?
elapsed=$(( ($(date +%s%N) - t0) / 1000000 ))
(( elapsed <= 1000 )) || fail "SIGTERM took $elapsed ms"
after=$(cat "$log")
[[ $after == "$before"* ]] || fail "the log lost lines: before"$'\n'"$before"$'\n'"after"$'\n'"$after"
[[ $(tail -c1 "$log" | od -An -c | tr -d ' ') == '\n' ]] || fail "the log ends inside a line"

start "$work/gibt es nicht"
wait $pid && status=0 || status=$?
[[ $status -eq 3 ]] || fail "missing folder: status $status"
grep -qF "Ordner nicht erreichbar: $work/gibt es nicht" "$work/out" || fail "no German line: $(cat "$work/out")"
echo "unit accepted; ended ${elapsed} ms after SIGTERM"
