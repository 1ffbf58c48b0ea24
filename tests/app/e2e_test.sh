#!/usr/bin/env bash
# The real recorder, driven only as a user would, on a private display and a private
# JACK server (dummy backend) with the test signal client as its input device.
#   e2e_test.sh APP SIGNAL_TOOL WAVCHECK_TOOL SCENARIO
# Scenarios:
#   take        choose the device, tick select-all, Record, Stop, quit; every file exact
#   sigint      Ctrl-C (SIGINT) in the middle of a take; every file complete, exit 0
#   close-busy  the close button during a take is refused; after Stop it quits
#   sigkill     SIGKILL in the middle of a take; every file opens with all but its last second
#   server-gone the JACK server stops in the middle of a take; the program goes on, ends
#               the take by itself, every file complete with all it received, and quits cleanly
#   sigterm     SIGTERM in the middle of a take; every file complete, exit 0
#   sigterm-finalising, sigint-finalising
#               the signal (Ctrl-C twice for SIGINT) right after Stop, while the overlay shows
#               and the files of a take of many channels are finalised; every file complete, exit 0
#   display-gone
#               the X server (one of this scenario's own) dies in the middle of a take; the
#               program ends without hanging and leaves every file complete
# VELMORA_XATOMS names the tool that prepares a bare X server.
set -euo pipefail

app=$1; signal=$2; wavcheck=$3; scenario=$4
channels=8
case $scenario in *-finalising) channels=64 ;; esac
server=${VELMORA_TEST_JACK_SERVER:-velmora-test}
[ -n "${DISPLAY:-}" ] || { echo "needs a display (the test command starts Xvfb)"; exit 1; }
source "$(dirname "$0")/instance_lock.sh"
refuse_if_another_instance

work=$(mktemp -d /tmp/velmora-e2e-XXXXXX)
export HOME=$work/home JACK_DEFAULT_SERVER=$server JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
mkdir -p "$HOME"
jackd_pid=""; signal_pid=""; pid=""; xvfb_pid=""

stop() {   # SIGTERM and wait: a killed JACK server keeps its slot
    local p=$1
    [ -n "$p" ] && kill -0 "$p" 2>/dev/null || return 0
    kill -TERM "$p" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
}

cleanup() { stop "$pid"; stop "$xvfb_pid"; stop "$signal_pid"; stop "$jackd_pid"; rm -rf "$work"; }
trap cleanup EXIT

fail() { echo "FAIL: $*"; tail -20 "$work/app.log" 2>/dev/null; exit 1; }

# A server of our name left behind by a crashed run of ours.
pkill -TERM -f "jackd.* -n $server " 2>/dev/null && sleep 1 || true

# Real time where the machine allows it (as root, or within the user's limit): then the
# server seldom has to skip a cycle of ours. Synchronous: a cycle ends only when every
# client has finished it, so a late recorder is never still reading its inputs while the
# signal client writes the next cycle into them (which tears a block across channels).
realtime=--no-realtime
chrt -f 10 true 2>/dev/null && realtime=--realtime
period=256
jackd $realtime --sync --port-max 4096 -n $server -d dummy -r 48000 -p $period -C 0 -P 0 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
"$signal" --name velmora-signal --channels $channels >"$work/signal.log" 2>&1 &
signal_pid=$!
for _ in $(seq 1 100); do grep -q ready "$work/signal.log" 2>/dev/null && break; sleep 0.1; done
grep -q ready "$work/signal.log" || fail "signal client did not start: $(cat "$work/jackd.log" "$work/signal.log")"

# A display of this scenario's own, so that killing it leaves the test's display alone.
# Without -noreset the server resets whenever its last client leaves (the atoms tool, the
# program's own probe) and drops a client still connecting: on a busy machine, ours.
if [ "$scenario" = display-gone ]; then
    mkfifo "$work/xvfb.fifo"
    Xvfb -displayfd 3 -screen 0 1600x1200x24 -noreset -nolisten tcp 3>"$work/xvfb.fifo" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    read -r -t 30 number <"$work/xvfb.fifo" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    export DISPLAY=":$number"
    "${VELMORA_XATOMS:?}"
fi

# No ALSA configuration: ALSA then lists no device, not even a sound card's, and the
# signal client is the first entry of the list.
ALSA_CONFIG_PATH=/dev/null "$app" >"$work/app.log" 2>&1 &
pid=$!
wid=$(timeout 30 xdotool search --sync --onlyvisible --name "^Velmora Recorder" | head -1) || fail "no window"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$wid")"
cx=$((X + 1)); cy=$((Y + HEIGHT - 550 - 1))   # the main component's top left on the screen

click() { xdotool mousemove $((cx + $1)) $((cy + $2)); sleep 0.3; xdotool click 1; sleep "${3:-0.5}"; }

# The device list: open it, take the first entry (the signal client). A file of any other
# device is refused by velmora-wavcheck.
click 110 50 1
xdotool key Down; sleep 0.3; xdotool key Return; sleep 2
click 775 405            # select all
# The cycles that the server skipped (it logs each, with the client that was late) from
# Record to the end of the take, which may excuse gaps by velmora-wavcheck's rule.
skipped_cycles() { grep -c "JackEngine::XRun: client" "$work/jackd.log" || true; }
at_record=$(skipped_cycles)
click 57 135             # Record
take_ends() { skipped=$(( $(skipped_cycles) - at_record )); }
take=$HOME/Documents/"Olvarin Audioware"/"Velmora Recorder"/Track

# A file that holds channel c in a complete header, whatever frames the server skipped.
holds_channel() {
    local report; report=$("$wavcheck" "$@" || true)
    grep -q "header complete, channel $2," <<<"$report"
}

# Every file of the take judged in one call, which reads each file once; a take that
# lacks a file has fewer files than channels.
take_passes() {
    "$wavcheck" --take "$take" 16 48000 "$@" --skipped "$skipped" $period >"$work/verdict.log" || true
    cat "$work/verdict.log"
    [ "$(tail -1 "$work/verdict.log")" = "0 of $channels files refused" ]
}

expect_files() {
    take_passes && return
    for c in $(seq 0 $((channels - 1))); do
        f=$(printf "%s/Track%02d.wav" "$take" $((c + 1)))
        [ "${VELMORA_TIMING:-exact}" = loose ] && holds_channel "$f" "$c" 16 48000 || fail "file of channel $c"
    done
    echo "WARNING: frames skipped in a slowed build"
}

# Frames of channel 0's file, for the record of what a fault kept.
frames_of_first() { { "$wavcheck" "$take/Track01.wav" 0 || true; } | sed -n 's/.* \([0-9]*\) frames,.*/\1/p'; }

# Every file's header describes all that the file holds, while the program still runs.
files_final() {
    local verdict; verdict=$("$wavcheck" --take "$take" || true)
    for c in $(seq 0 $((channels - 1))); do
        grep -q "$(printf "Track%02d" $((c + 1))).wav: .*header complete, channel $c," <<<"$verdict" || return 1
    done
}

wait_exit_zero() {
    local rc=0
    for _ in $(seq 1 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && fail "still running"
    wait "$pid" || rc=$?
    pid=""
    [ "$rc" -eq 0 ] || fail "exit code $rc"
}

case $scenario in
    take)
        sleep 3
        click 162 135 0; take_ends; sleep 3   # Stop, then the overlay until the files are complete
        kill -TERM "$pid"; wait_exit_zero
        expect_files
        ;;
    sigint)
        sleep 2
        kill -INT "$pid"; take_ends; wait_exit_zero
        expect_files
        ;;
    sigkill)
        sleep 4
        kill -KILL "$pid"; take_ends; wait "$pid" 2>/dev/null || true; pid=""
        take_passes --killed $((48000 * 2)) || for c in $(seq 0 $((channels - 1))); do
            f=$(printf "%s/Track%02d.wav" "$take" $((c + 1)))
            report=$("$wavcheck" "$f" "$c" 16 48000 --killed 0 || true)
            [ "${VELMORA_TIMING:-exact}" = loose ] && grep -q "channel $c," <<<"$report" && continue
            fail "file of channel $c after a kill"
        done
        ;;
    sigterm)
        sleep 2
        kill -TERM "$pid"; take_ends; wait_exit_zero
        expect_files
        ;;
    sigterm-finalising|sigint-finalising)
        sleep 3
        click 162 135 0.02   # Stop: the overlay shows until the next meter tick after the clean-up
        take_ends
        if [ "$scenario" = sigint-finalising ]; then
            kill -INT "$pid"; sleep 0.01; kill -INT "$pid" 2>/dev/null || true   # unless it has ended already
        else
            kill -TERM "$pid"
        fi
        wait_exit_zero
        expect_files
        echo "kept $(frames_of_first) frames a channel"
        ;;
    server-gone)
        sleep 2
        take_ends; stop "$jackd_pid"; jackd_pid=""   # the signal client loses its server at the same moment
        # The take ends by itself: its files are finalised with the program still running.
        for _ in $(seq 1 150); do files_final && break; sleep 0.1; done
        kill -0 "$pid" || fail "the program ended with the server"
        files_final || { "$wavcheck" "$take/Track01.wav" 0; fail "the take goes on without its device"; }
        click 162 135 3      # Stop (no take runs any more: nothing happens)
        kill -TERM "$pid"; wait_exit_zero
        expect_files
        ;;
    display-gone)
        sleep 3
        kill -KILL "$xvfb_pid"; wait "$xvfb_pid" 2>/dev/null || true; xvfb_pid=""
        for _ in $(seq 1 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        take_ends
        kill -0 "$pid" 2>/dev/null && fail "still running without its display"
        rc=0; wait "$pid" || rc=$?; pid=""
        [ "$rc" -lt 128 ] || fail "ended by signal $((rc - 128))"
        echo "exit code $rc"
        expect_files
        kept=$(frames_of_first); echo "kept $kept frames a channel"
        [ "${VELMORA_TIMING:-exact}" = loose ] || [ "$kept" -ge $((48000 * 3)) ] || fail "the last buffered seconds are lost"
        ;;
    close-busy)
        sleep 1
        xdotool mousemove $((X + WIDTH - 14)) $((Y + 13)); sleep 0.3; xdotool click 1
        timeout 20 xdotool search --sync --onlyvisible --name "^Warning$" >/dev/null || fail "no warning box"
        kill -0 "$pid" || fail "closed during a take"
        sleep 0.5; xdotool key Return; sleep 0.5
        click 162 135 0; take_ends; sleep 3   # Stop
        xdotool mousemove $((X + WIDTH - 14)) $((Y + 13)); sleep 0.3; xdotool click 1
        wait_exit_zero
        expect_files
        ;;
    *) fail "unknown scenario $scenario" ;;
esac

echo "PASS: $scenario"
