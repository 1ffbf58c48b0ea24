#!/usr/bin/env bash
# CPU of the recorder with its window open on a private display and the signal client
# on a private JACK server: idle (device open, not recording) or recording, for a
# number of channels; "none" runs it with no device at all (the timer alone). With --perf
# it also samples call stacks and prints the hottest functions.
#   bench/cpu_profile.sh BUILD_DIR idle|record|none CHANNELS [SECONDS] [--perf]
set -euo pipefail

# A display of its own, as the tests have: on the user's, the clicks could reach other windows.
[ -n "${VELMORA_OWN_DISPLAY:-}" ] || VELMORA_OWN_DISPLAY=1 exec "$(dirname "$0")/../scripts/with-display.sh" "${1:?build folder}/tests/velmora-xatoms" "$0" "$@"

build=$(cd "${1:?build folder}" && pwd)
state=${2:?idle or record}
channels=${3:?channels}
seconds=${4:-10}
profile=${5:-}
work=$(mktemp -d /tmp/velmora-prof-XXXXXX)
source "$(dirname "$0")/../scripts/recorder-driver.sh"

if [ "$state" = none ]; then
    start_app "$work/home" bare
else
    start_server "$channels"
    start_app "$work/home"
fi
if [ "$state" = record ]; then click_select_all; click_record; fi
sleep 2

before=$(cpu_seconds "$app_pid")
thread_seconds "$app_pid" >"$work/threads-before"
if [ "$profile" = --perf ]; then
    perf record -q -e cpu-clock -F 2000 -g -p "$app_pid" -o "$work/perf.data" -- sleep "$seconds" 2>/dev/null
else
    sleep "$seconds"
fi
after=$(cpu_seconds "$app_pid")
thread_seconds "$app_pid" >"$work/threads-after"
[ "$profile" != --perf ] || cp "$work/perf.data" "${VELMORA_PERF_DATA:-/tmp/velmora-perf.data}"
awk -v a="$after" -v b="$before" -v s="$seconds" -v st="$state" -v n="$channels" \
    'BEGIN { printf "%s, %d channels: %.2f %% of one core\n", st, n, 100 * (a - b) / s }'
[ -z "${VELMORA_DEBUG:-}" ] || paste "$work/threads-before" "$work/threads-after" >&2
thread_groups "$app_pid" "$work/threads-before" "$work/threads-after" "$seconds"

if [ "$profile" = --perf ]; then
    echo "-- by thread"
    perf report -i "$work/perf.data" --no-children -g none --sort pid --stdio 2>/dev/null | grep -v '^#' | grep '%' | head -10 || true
    echo "-- by function"
    perf report -i "$work/perf.data" --no-children -g none --sort dso,symbol --stdio 2>/dev/null | grep -v '^#' | grep '%' | head -40 | cut -c1-160 || true
fi
if [ "$state" = record ]; then click_stop; sleep 3; fi
