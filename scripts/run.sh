#!/usr/bin/env bash
# Sets up the machine, builds the recorder and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
build=${VELMORA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja
cmake --build "$build" --parallel --target VelmoraRecorder
# The build type the folder is configured with (RelWithDebInfo unless it was given another).
exec "$build/VelmoraRecorder_artefacts/$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")/Velmora Recorder" "$@"
