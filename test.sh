#!/usr/bin/env bash
# Sets up, builds and runs every Velmora test: the debug build with CTest (unit,
# window, real-window, package checks and a smoke run of each benchmark), then
# the unit tests again under AddressSanitizer + UndefinedBehaviorSanitizer, and
# a short fuzzing run of every reader, the targets side by side. Installs the
# Debian packages it needs.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure_packages.sh

ensure_packages cmake ninja-build g++ clang libclang-rt-dev libgtest-dev libgmock-dev \
    libbenchmark-dev qt6-base-dev dpkg-dev file appstream desktop-file-utils groff-base \
    xvfb xauth xdotool imagemagick zlib1g-dev nlohmann-json3-dev

jobs=$(nproc)

echo "== debug build and tests"
cmake --preset debug
cmake --build --preset debug -j "$jobs"
ctest --preset debug -j "$jobs"

echo "== unit tests under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset asan
cmake --build --preset asan -j "$jobs" --target velmora_unit_tests
ctest --preset asan -j "$jobs" -L unit

echo "== short fuzzing run of every reader, two targets at a time"
cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
ctest --test-dir build/fuzz -L fuzz -j "$jobs" --output-on-failure

echo "== all tests passed"
