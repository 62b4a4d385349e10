#!/usr/bin/env bash
# The scan listing against find on 100,000 files in 1,000 folders, a tenth of them *.mp3 of at
# least 1024 bytes. Both are timed as whole processes, start-up included, several runs each,
# alternating so that both meet the same cache; the medians are compared.
# Exit status 0 when the listing takes no longer than find, 1 otherwise (or on a wrong count).
# QM_BENCH_TREE names the cached tree (default /tmp/qm_bench_scan_tree), QM_BENCH_RUNS the runs.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
bin="$build/quavermill"
tree=${QM_BENCH_TREE:-/tmp/qm_bench_scan_tree}
runs=${QM_BENCH_RUNS:-9}
folders=1000
[ -x "$bin" ] || { echo "no program at $bin" >&2; exit 1; }

# Per folder: 85 other files, 5 recordings too small to count, 10 that match (two in capitals).
# Sparse files keep the tree quick to make; the recordings get a time of day inside the default
# window, so that the listing does its full work on each of them.
make_tree() {
    local part="$tree.part" d i
    rm -rf "$part"
    mkdir -p "$part"
    for ((d = 0; d < folders; d++)); do
        local dir="$part/rec$d" other=() small=() big=()
        mkdir "$dir"
        for ((i = 0; i < 85; i++)); do other+=("$dir/note$i.txt"); done
        for ((i = 0; i < 5; i++)); do small+=("$dir/short$i.mp3"); done
        for ((i = 0; i < 8; i++)); do big+=("$dir/take$i.mp3"); done
        big+=("$dir/LOUD0.MP3" "$dir/LOUD1.Mp3")
        touch "${other[@]}"
        truncate -s 700 "${small[@]}"
        truncate -s 4096 "${big[@]}"
        touch -d '2024-05-03 12:00:00' "${big[@]}"
    done
    rm -rf "$tree"
    mv "$part" "$tree"
}

if [ ! -d "$tree" ] || [ "$(find "$tree" -type f | wc -l)" -ne $((folders * 100)) ]; then
    echo "making the tree in $tree ..."
    make_tree
fi

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
listing() { HOME="$home" XDG_CONFIG_HOME="$home/.config" "$bin" --scan "$tree" --list 0; }
finding() { find "$tree" -iname '*.mp3' -size +1023c; }

expected=$((folders * 10))
found=$(finding | wc -l)
summary=$(listing | grep 'passen' || true)
echo "find: $found matches; listing: ${summary# }"
if [ "$found" -ne "$expected" ] || [[ "$summary" != *" $expected passen "* ]]; then
    echo "the tree or one of the tools does not give $expected matches" >&2
    exit 1
fi

# Wall time of one run in microseconds.
elapsed_us() {
    local t0=${EPOCHREALTIME/./} t1
    "$@" >/dev/null
    t1=${EPOCHREALTIME/./}
    echo $((t1 - t0))
}

source "$(dirname "$0")/lib.sh"

scan_times=()
find_times=()
for ((r = 0; r < runs; r++)); do
    scan_times+=("$(elapsed_us listing)")
    find_times+=("$(elapsed_us finding)")
done
scan_us=$(median "${scan_times[@]}")
find_us=$(median "${find_times[@]}")
awk -v s="$scan_us" -v f="$find_us" -v n="$runs" 'BEGIN {
    printf "scan listing %.1f ms, find %.1f ms (median of %d), ratio %.2f\n", s / 1000, f / 1000, n, s / f
    exit (s <= f) ? 0 : 1
}'
