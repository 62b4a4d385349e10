#!/usr/bin/env bash
# Fails when a source file includes a header of a layer above its own. A file belongs to the
# layer of its top folder; the layers, lowest first, are those of the list below (the order in
# which CMakeLists.txt adds them). tests/ and bench/ may include every layer and are not checked.
# Usage: check_layers.sh [source root]   (default: the folder above this script)
set -euo pipefail
root=${1:-"$(cd "$(dirname "$0")/.." && pwd)"}
layers=(core system i18n audio playback gui ui cli)

declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done

cd "$root"
status=0
for layer in "${layers[@]}"; do
  [[ -d $layer ]] || continue
  # file:line:text of every include whose path begins with a folder name.
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    text=${rest#*:}
    [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"\<]([A-Za-z0-9_]+)/ ]] || continue
    target=${BASH_REMATCH[1]}
    [[ -n ${rank[$target]+set} ]] || continue
    if (( rank[$target] > rank[$layer] )); then
      echo "$file:$line: $layer includes $target, a higher layer: $text"
      status=1
    fi
  done < <(grep -rnE --include='*.h' --include='*.hpp' --include='*.c' --include='*.cpp' \
             '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][A-Za-z0-9_]+/' "$layer" || true)
done
exit $status
