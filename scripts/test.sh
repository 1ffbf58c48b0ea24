#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test through CTest.
# Tests that need a window run on a private Xvfb display; tests that need audio start
# their own private JACK server (one at a time, by CTest resource lock).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
build=${VELMORA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja ${VELMORA_CMAKE_ARGS:-}
cmake --build "$build" --parallel
./scripts/with-display.sh "$build/tests/velmora-xatoms" \
    ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" "$@"
