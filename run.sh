#!/usr/bin/env bash
# Sets up, builds and starts Velmora, on FOLDER when one is given (a folder,
# or any file of one). Installs the Debian packages it needs.
set -euo pipefail
start_dir=$PWD
cd "$(dirname "$0")"
source scripts/ensure_packages.sh
ensure_packages cmake ninja-build g++ qt6-base-dev >&2

cmake --preset app >/dev/null
cmake --build --preset app --target Velmora velmora-cli >/dev/null

args=()
if [ $# -gt 0 ]; then
    case $1 in /*) args=("$1") ;; *) args=("$start_dir/$1") ;; esac
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Velmora needs a graphical display and none is set (DISPLAY, WAYLAND_DISPLAY);" \
        "on a machine without one, run it under a virtual display: xvfb-run ./run.sh [FOLDER]" >&2
    exit 1
fi
exec build/app/app/Velmora "${args[@]}"
