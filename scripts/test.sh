#!/usr/bin/env bash
# Sets up the machine, then builds and runs the tests through CTest: the whole suite in a
# plain build, then the tests labelled "sanitized" (threads, memory, parsing) in an
# AddressSanitizer/UndefinedBehaviorSanitizer build and in a ThreadSanitizer build, each
# in a build folder of its own and compiling only what those tests need. Tests that need
# a window run on a private Xvfb display; tests that need audio start their own private
# JACK server (one at a time).
#   scripts/test.sh [CTEST ARGUMENTS...]
# VELMORA_BUILDS picks the builds (default "plain address thread").
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh

run_suite() {   # KIND [CTEST ARGUMENTS...]
    local kind=$1; shift
    local build sanitizer="" target=all label=()
    case $kind in
        plain)   build=build ;;
        address) build=build-asan; sanitizer=address ;;
        thread)  build=build-tsan; sanitizer=thread ;;
        *)       echo "unknown build kind: $kind" >&2; return 1 ;;
    esac
    if [ -n "$sanitizer" ]; then
        target=velmora_sanitized_tests
        label=(--label-regex '^sanitized$')
    fi
    echo "=== $kind build in $build"
    cmake -S . -B "$build" -G Ninja -DVELMORA_SANITIZER="$sanitizer" ${VELMORA_CMAKE_ARGS:-}
    cmake --build "$build" --parallel --target "$target"
    ./scripts/with-display.sh "$build/tests/velmora-xatoms" \
        ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" "${label[@]}" "$@"
}

for kind in ${VELMORA_BUILDS:-plain address thread}; do
    run_suite "$kind" "$@"
done
