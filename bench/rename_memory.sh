#!/bin/bash
# Peak memory of velmora-cli list, rename and undo of one folder, each a whole
# process under /usr/bin/time -v ("Maximum resident set size"), and the ratios
# of the rename and the undo to the list (target: <= 1.5 each).
#   bench/rename_memory.sh BUILD_DIR [FOLDER [COUNT [FOLDERS]]]
# BUILD_DIR holds cli/velmora-cli and bench/velmora_make_bench_folder; FOLDER
# (default /tmp/velmora_rename_memory) is made with COUNT (default 100000)
# bench photos when it does not exist, and has its names back at the end. The
# journals and settings live in a scratch folder of their own.
# With FOLDERS the photos are a tree over that many folders, listed with
# --recursive and gathered into date folders (--create-folders) by the
# rename; the undo puts them back and removes those folders.
set -euo pipefail

build=$1
folder=${2:-/tmp/velmora_rename_memory}
count=${3:-100000}
folders=${4:-}
cli=$build/cli/velmora-cli
if [ ! -d "$folder" ]; then
    mkdir -p "$folder"
    if [ -n "$folders" ]; then
        "$build/bench/velmora_make_bench_folder" --tree "$folder" "$count" "$folders"
    else
        "$build/bench/velmora_make_bench_folder" "$folder" "$count"
    fi
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch XDG_STATE_HOME=$scratch/state XDG_CONFIG_HOME=$scratch/config

# Runs one command; prints its peak memory (KB) and wall time.
measure() {
    local name=$1
    shift
    /usr/bin/time -v "$cli" "$@" >/dev/null 2>"$scratch/$name.time"
    peak[$name]=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$scratch/$name.time")
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$scratch/$name.time")
    printf '%-7s %8d KB  %s\n' "$name" "${peak[$name]}" "$wall"
}

declare -A peak
format='Img%Y%m%d_%H%M%S_%C'
list=()
run=()
if [ -n "$folders" ]; then
    format='%Y/%m/%d/IMG_%H%M%S'
    list=(--recursive)
    run=(--recursive --create-folders)
fi
measure list list "${list[@]}" --format "$format" "$folder"
measure rename rename "${run[@]}" --format "$format" "$folder"
measure undo undo "$folder"
for name in rename undo; do
    awk -v a="${peak[$name]}" -v b="${peak[list]}" -v n="$name" \
        'BEGIN { printf "%s/list: %.2f (target: <= 1.5)\n", n, a / b }'
done
