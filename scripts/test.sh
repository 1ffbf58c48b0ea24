#!/usr/bin/env bash
# Sets up the machine, then builds and runs the tests through CTest: the whole suite in a
# plain build, then the tests labelled "sanitized" (threads, memory, parsing) in an
# AddressSanitizer/UndefinedBehaviorSanitizer build and in a ThreadSanitizer build, each
# in a build folder of its own and compiling only what those tests need. Tests that need
# a window run on a private Xvfb display; tests that need audio start their own private
# JACK server (one at a time).
#
# The tests mostly wait on audio and windows, so while one build's tests run, the next
# build compiles beside them at idle priority: it takes only the processor time that the
# tests leave.
#   scripts/test.sh [CTEST ARGUMENTS...]
# VELMORA_BUILDS picks the builds (default "plain address thread").
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh

build_dir() {   # KIND
    case $1 in
        plain)   echo build ;;
        address) echo build-asan ;;
        thread)  echo build-tsan ;;
        *)       echo "unknown build kind: $1" >&2; return 1 ;;
    esac
}

build() {   # KIND
    local kind=$1 build sanitizer="" target=all
    build=$(build_dir "$kind")
    [ "$kind" = plain ] || { sanitizer=$kind; target=velmora_sanitized_tests; }
    cmake -S . -B "$build" -G Ninja -DVELMORA_SANITIZER="$sanitizer" ${VELMORA_CMAKE_ARGS:-}
    cmake --build "$build" --parallel --target "$target"
}

run_tests() {   # KIND [CTEST ARGUMENTS...]
    local kind=$1 build label=(); shift
    build=$(build_dir "$kind")
    [ "$kind" = plain ] || label=(--label-regex '^sanitized$')
    ./scripts/with-display.sh "$build/tests/velmora-xatoms" \
        ctest --test-dir "$build" --output-on-failure --no-tests=error --parallel "$(nproc)" "${label[@]}" "$@"
}

# Builds KIND in a session of its own, so that the whole build can be stopped if the tests
# fail. A watcher in that session stops it as well once this script is gone, however it
# ended (a SIGKILL runs no trap), or once the build is over.
build_beside() {   # KIND
    setsid chrt --idle 0 bash -c "set -euo pipefail
        $(declare -f build_dir build)
        { while kill -0 $$ && kill -0 \$\$; do sleep 1; done; kill -TERM -- -\$\$; } 2>/dev/null &
        build $1" >"$log" 2>&1 &
    background=$!
}

kinds=(${VELMORA_BUILDS:-plain address thread})
background=""
log=$(mktemp /tmp/velmora-build-XXXXXX)
trap '[ -z "$background" ] || kill -TERM -- "-$background" 2>/dev/null || true; rm -f "$log"' EXIT

echo "=== ${kinds[0]} build in $(build_dir "${kinds[0]}")"
build "${kinds[0]}"

for i in "${!kinds[@]}"; do
    next=${kinds[$((i + 1))]:-}

    if [ -n "$next" ]; then
        build_beside "$next"
    fi

    echo "=== ${kinds[$i]} tests in $(build_dir "${kinds[$i]}")"
    run_tests "${kinds[$i]}" "$@"

    if [ -n "$next" ]; then
        echo "=== $next build in $(build_dir "$next") (beside the tests above)"
        status=0
        wait "$background" || status=$?
        background=""
        cat "$log"
        [ "$status" -eq 0 ] || exit "$status"
    fi
done
