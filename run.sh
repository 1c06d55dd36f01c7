#!/usr/bin/env bash
# Sets up, builds and starts Velmora. The window is not built yet: for now this
# builds the terminal front end and shows what it reads from every JPEG of the
# folder given (default: the current folder).
set -euo pipefail
start_dir=$PWD
cd "$(dirname "$0")"
source scripts/ensure_packages.sh
ensure_packages cmake ninja-build g++ libgtest-dev libgmock-dev >&2

cmake --preset release >/dev/null
cmake --build --preset release --target velmora-cli >/dev/null

folder=${1:-$start_dir}
case $folder in /*) ;; *) folder=$start_dir/$folder ;; esac
echo "The window is not built yet; running velmora-cli info --json on the JPEG files of $folder" >&2
shopt -s nullglob nocaseglob
files=("$folder"/*.jpg)
if [ ${#files[@]} -eq 0 ]; then
    echo "No .jpg files in $folder" >&2
    exit 1
fi
exec build/release/cli/velmora-cli info --json "${files[@]}"
