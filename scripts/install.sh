#!/usr/bin/env bash
# make install / make uninstall. Install stages the build's install rules in a temporary folder,
# checks that every folder it must write to is writable, then copies file by file, recording each
# file and each folder it creates; on any failure it takes back what it did, so that nothing is
# left half installed. Uninstall removes exactly what was recorded, folders only when empty.
# The icon cache and the desktop database are refreshed where those tools exist.
# Usage: install.sh install|uninstall <build folder> <prefix>
set -euo pipefail
action=$1 build=$2 prefix=$3
manifest=$build/quavermill-installed.txt

icon_cache=$prefix/share/icons/hicolor/icon-theme.cache
desktop_cache=$prefix/share/applications/mimeinfo.cache

# Brings the icon cache and the desktop database up to date; with `existing`, only those that
# are there already (after an uninstall, one that install created is gone with the rest).
refresh() {
  if command -v gtk-update-icon-cache >/dev/null && [[ -f $prefix/share/icons/hicolor/index.theme ]] &&
     [[ $1 != existing || -f $icon_cache ]]; then
    gtk-update-icon-cache -q -t -f "$prefix/share/icons/hicolor" || true
  fi
  if command -v update-desktop-database >/dev/null && [[ -d $prefix/share/applications ]] &&
     [[ $1 != existing || -f $desktop_cache ]]; then
    update-desktop-database -q "$prefix/share/applications" || true
  fi
}

# Removes what the manifest `$1` names (after its prefix line): files first, then folders,
# deepest first, each only when empty.
take_back() {
  local kind path
  tail -n +2 "$1" | while read -r kind path; do [[ $kind == f ]] && rm -f "$path"; done
  tail -n +2 "$1" | sed -n 's/^d //p' | sort -r | while read -r path; do rmdir "$path" 2>/dev/null || true; done
}

if [[ $action == uninstall ]]; then
  [[ -f $manifest ]] || { echo "uninstall: no installation recorded in $build" >&2; exit 1; }
  recorded=$(head -n1 "$manifest")
  [[ $recorded == "prefix $prefix" ]] || { echo "uninstall: $build installed into ${recorded#prefix }, not $prefix" >&2; exit 1; }
  take_back "$manifest"
  rm -f "$manifest"
  refresh existing
  echo "removed from $prefix"
  exit 0
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >/dev/null
files=$(cd "$stage$prefix" && find . -type f | sed 's|^\./||' | sort)

# Every file's nearest existing folder must be a folder we may write to.
for rel in $files; do
  dir=$(dirname "$prefix/$rel")
  while [[ ! -e $dir ]]; do dir=$(dirname "$dir"); done
  if [[ ! -d $dir || ! -w $dir ]]; then
    echo "install: cannot write to $dir (PREFIX=$prefix); nothing was installed." >&2
    echo "install: choose another PREFIX, or run as a user who may write there." >&2
    exit 1
  fi
done

record=$stage/record
echo "prefix $prefix" > "$record"
undo() { echo "install: failed; taking back what was copied" >&2; take_back "$record"; exit 1; }
trap 'undo' ERR
for rel in $files; do
  dest=$prefix/$rel
  dir=$(dirname "$dest") missing=()
  while [[ ! -e $dir ]]; do missing+=("$dir"); dir=$(dirname "$dir"); done
  for (( i=${#missing[@]}-1; i>=0; i-- )); do mkdir "${missing[i]}"; echo "d ${missing[i]}" >> "$record"; done
  [[ -e $dest ]] || echo "f $dest" >> "$record"
  cp -p "$stage$prefix/$rel" "$dest"
done
trap - ERR
if [[ -f $manifest ]] && [[ $(head -n1 "$manifest") == "prefix $prefix" ]]; then
  tail -n +2 "$manifest" >> "$record"  # an earlier install into the same prefix
fi
for cache in "$icon_cache" "$desktop_cache"; do [[ -e $cache ]] || echo "f $cache" >> "$record"; done
refresh all
{ head -n1 "$record"; tail -n +2 "$record" | sort -u; } > "$manifest"
echo "installed into $prefix"
