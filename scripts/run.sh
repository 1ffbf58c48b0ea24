#!/usr/bin/env bash
# Sets up the machine, builds the recorder and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
build=${VELMORA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja
cmake --build "$build" --parallel --target VelmoraRecorder
exec "$build/VelmoraRecorder_artefacts/RelWithDebInfo/Velmora Recorder" "$@"
