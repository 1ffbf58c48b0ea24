#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test through CTest three times: a plain
# build, an AddressSanitizer/UndefinedBehaviorSanitizer build and a ThreadSanitizer build,
# each in a build folder of its own. Tests that need a window run on a private Xvfb
# display; tests that need audio start their own private JACK server (one at a time).
#   scripts/test.sh [CTEST ARGUMENTS...]
# VELMORA_BUILDS picks the builds (default "plain address thread").
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh

run_suite() {   # KIND [CTEST ARGUMENTS...]
    local kind=$1; shift
    local build sanitizer=""
    case $kind in
        plain)   build=build ;;
        address) build=build-asan; sanitizer=address ;;
        thread)  build=build-tsan; sanitizer=thread ;;
        *)       echo "unknown build kind: $kind" >&2; return 1 ;;
    esac
    echo "=== $kind build in $build"
    cmake -S . -B "$build" -G Ninja -DVELMORA_SANITIZER="$sanitizer" ${VELMORA_CMAKE_ARGS:-}
    cmake --build "$build" --parallel
    ./scripts/with-display.sh "$build/tests/velmora-xatoms" \
        ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" "$@"
}

for kind in ${VELMORA_BUILDS:-plain address thread}; do
    run_suite "$kind" "$@"
done
