#!/usr/bin/env bash
# Sets up, builds and starts Velmora, on FOLDER when one is given (a folder,
# or any file of one); without one, on a fresh copy of the demo photos, so
# Rename can be tried without touching your own pictures. Installs the
# Debian packages it needs.
set -euo pipefail
start_dir=$PWD
cd "$(dirname "$0")"
source scripts/ensure_packages.sh
ensure_packages cmake ninja-build g++ qt6-base-dev zlib1g-dev nlohmann-json3-dev >&2

# The build's progress stays quiet; its errors are shown.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake --preset app && cmake --build --preset app --target Velmora velmora-cli \
    velmora_demo_photos; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "The build failed (see above)." >&2
    exit 1
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Velmora needs a graphical display and none is set (DISPLAY, WAYLAND_DISPLAY);" \
        "on a machine without one, run it under a virtual display: xvfb-run ./run.sh [FOLDER]" >&2
    exit 1
fi
if [ $# -gt 0 ]; then
    case $1 in /*) folder=$1 ;; *) folder=$start_dir/$1 ;; esac
else
    folder=$(mktemp -d "${TMPDIR:-/tmp}/velmora-demo-XXXXXX")
    cp build/app/demo/photos/*.jpg "$folder"/
    echo "Demo photos copied to $folder" >&2
fi
rm -f "$log"
trap - EXIT
exec build/app/app/Velmora "$folder"
