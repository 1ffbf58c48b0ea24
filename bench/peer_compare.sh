#!/usr/bin/env bash
# Records the same test signal on the same private JACK server (48 kHz, 24 bit, 256
# frames a period) with our recorder (window open on a private display, every meter
# drawing) and with jack_capture (one multichannel file), one after the other, and
# prints CPU seconds per recorded second, peak resident memory and the discontinuities
# that the checker finds.
#   scripts/with-display.sh BUILD_DIR/tests/velmora-xatoms bench/peer_compare.sh BUILD_DIR [SECONDS] [CHANNEL COUNTS...]
# Not part of CI. Needs the Debian package jack-capture (installed if missing).
set -euo pipefail

build=$(cd "${1:?build folder}" && pwd); shift
seconds=${1:-30}; shift || true
counts=${*:-8 128 1024}
app="$build/VelmoraRecorder_artefacts/RelWithDebInfo/Velmora Recorder"
signal=$build/tests/velmora-signal
wavcheck=$build/tests/velmora-wavcheck
server=velmora-test

command -v jack_capture >/dev/null || { sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo; $sudo apt-get install -y -qq jack-capture; }

work=$(mktemp -d /tmp/velmora-peer-XXXXXX)
export JACK_DEFAULT_SERVER=$server JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
pids=()
stop() { local p=$1; kill -TERM "$p" 2>/dev/null || return 0; for _ in $(seq 1 100); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done; kill -KILL "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; }
cleanup() { for p in "${pids[@]}"; do stop "$p"; done; rm -rf "$work"; }
trap cleanup EXIT

cpu_seconds() {   # user + system seconds of a process so far
    awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) / hz }' "/proc/$1/stat"
}

run_ours() {      # CHANNELS -> "cpu_per_s rss_kb discontinuities"
    local n=$1 home=$work/home-$1
    mkdir -p "$home/.config/Olvarin Audioware/Velmora Recorder"
    # device 1 is the first input listed: with no sound card, the signal client
    cat >"$home/.config/Olvarin Audioware/Velmora Recorder/Settings.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<vrSettings><SETTING Obj="deviceAsioCombo" Value="1"/><SETTING Obj="SRcombo" Value="48000"/><SETTING Obj="bitsCombo" Value="24"/></vrSettings>
XML
    HOME=$home "$app" >"$work/app-$n.log" 2>&1 &
    local pid=$!; pids+=("$pid")
    local wid; wid=$(timeout 60 xdotool search --sync --onlyvisible --name "^Velmora Recorder" | head -1)
    sleep 3
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    local cx=$((X + 1)) cy=$((Y + HEIGHT - 550 - 1))
    xdotool mousemove $((cx + 775)) $((cy + 405)) click 1; sleep 1          # select all
    xdotool mousemove $((cx + 57)) $((cy + 135)) click 1; sleep 1           # Record
    local before; before=$(cpu_seconds "$pid")
    sleep "$seconds"
    local after; after=$(cpu_seconds "$pid")
    xdotool mousemove $((cx + 162)) $((cy + 135)) click 1                   # Stop
    local rss; rss=$(awk '/VmHWM/ { print $2 }' "/proc/$pid/status")
    sleep 5; stop "$pid"
    local bad=0 take="$home/Documents/Olvarin Audioware/Velmora Recorder/Track"
    for c in $(seq 0 $((n - 1))); do
        "$wavcheck" "$(printf "%s/Track%02d.wav" "$take" $((c + 1)))" "$c" 24 48000 >/dev/null || bad=$((bad + 1))
    done
    echo "$(awk -v a="$after" -v b="$before" -v s="$seconds" 'BEGIN { print (a - b) / s }') $rss $bad"
}

run_peer() {      # CHANNELS -> "cpu_per_s rss_kb discontinuities(first channel)"
    local n=$1
    /usr/bin/time -f "%U %S %M" -o "$work/peer-$n.time" \
        jack_capture -c "$n" -b 24 -f wav -d "$seconds" -p "velmora-signal:out_*" "$work/peer-$n.wav" >/dev/null 2>&1
    read -r user sys rss <"$work/peer-$n.time"
    local bad=0
    "$wavcheck" "$work/peer-$n.wav" 0 >/dev/null 2>&1 || bad=1
    echo "$(awk -v u="$user" -v y="$sys" -v s="$seconds" 'BEGIN { print (u + y) / s }') $rss $bad"
}

[ -n "${DISPLAY:-}" ] || { echo "run it under scripts/with-display.sh" >&2; exit 1; }
printf "%8s  %12s %12s  %10s %10s  %6s %6s  %8s\n" channels "ours cpu/s" "peer cpu/s" "ours MiB" "peer MiB" "ours!" "peer!" "ratio"
for n in $counts; do
    jackd --no-realtime --port-max 4096 -n $server -d dummy -r 48000 -p 256 -C 0 -P 0 >"$work/jackd-$n.log" 2>&1 &
    jack_pid=$!; pids+=("$jack_pid")
    "$signal" --name velmora-signal --channels "$n" >"$work/signal-$n.log" 2>&1 &
    signal_pid=$!; pids+=("$signal_pid")
    for _ in $(seq 1 100); do grep -q ready "$work/signal-$n.log" 2>/dev/null && break; sleep 0.1; done

    read -r ours_cpu ours_rss ours_bad < <(run_ours "$n")
    read -r peer_cpu peer_rss peer_bad < <(run_peer "$n")
    awk -v n="$n" -v oc="$ours_cpu" -v pc="$peer_cpu" -v orss="$ours_rss" -v prss="$peer_rss" -v ob="$ours_bad" -v pb="$peer_bad" \
        'BEGIN { printf "%8d  %12.4f %12.4f  %10.1f %10.1f  %6d %6d  %8.2f\n", n, oc, pc, orss / 1024, prss / 1024, ob, pb, (pc > 0 ? oc / pc : 0) }'

    stop "$signal_pid"; stop "$jack_pid"
done
