#!/usr/bin/env bash
# Records the same test signal on the same private JACK server (48 kHz, 24 bit, 256
# frames a period) with our recorder (window open on a private display, every meter
# drawing) and with jack_capture (one multichannel file), one after the other, and
# prints CPU seconds per recorded second, peak resident memory and the discontinuities
# that the checker finds.
#   bench/peer_compare.sh BUILD_DIR [SECONDS] [CHANNEL COUNTS...]
# Not part of CI. Needs the Debian package jack-capture (installed if missing).
set -euo pipefail

[ -n "${DISPLAY:-}" ] || exec "$(dirname "$0")/../scripts/with-display.sh" "${1:?build folder}/tests/velmora-xatoms" "$0" "$@"

build=$(cd "${1:?build folder}" && pwd); shift
seconds=${1:-30}; shift || true
counts=${*:-8 128 1024}
command -v jack_capture >/dev/null || { sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo; $sudo apt-get install -y -qq jack-capture; }

work=$(mktemp -d /tmp/velmora-peer-XXXXXX)
source "$(dirname "$0")/../scripts/recorder-driver.sh"

# Both programs are measured the same way: the scheduler's run time of all their threads
# over the same window of the take, after two seconds of start-up, and their peak RSS.
run_ours() {      # CHANNELS -> "cpu_per_s rss_kb rejected_files"
    local n=$1 home=$work/home-$1
    start_app "$home"
    click_select_all; click_record; sleep 2
    local before; before=$(cpu_seconds "$app_pid")
    sleep "$seconds"
    local after; after=$(cpu_seconds "$app_pid")
    local rss; rss=$(awk '/VmHWM/ { print $2 }' "/proc/$app_pid/status")
    click_stop
    sleep 2; quit_app
    local bad; bad=$(check_take "$home" "$n")
    echo "$(awk -v a="$after" -v b="$before" -v s="$seconds" 'BEGIN { print (a - b) / s }') $rss $bad"
}

run_peer() {      # CHANNELS -> "cpu_per_s rss_kb channels_with_gaps (of the first and last)"
    local n=$1
    jack_capture -c "$n" -b 24 -f wav -d $((seconds + 4)) -p "velmora-signal:out_*" "$work/peer-$n.wav" >/dev/null 2>&1 &
    local pid=$!
    sleep 2
    local before; before=$(cpu_seconds "$pid")
    sleep "$seconds"
    local after; after=$(cpu_seconds "$pid")
    local rss; rss=$(awk '/VmHWM/ { print $2 }' "/proc/$pid/status")
    wait "$pid" || true
    # The single file starts with the frames captured while the program set itself up,
    # which the checker takes for one gap within the first second; any other is real.
    local bad=0 c report
    for c in 0 $((n - 1)); do
        report=$("$wavcheck" --channel-in-file "$c" "$work/peer-$n.wav" "$c" || true)
        awk '/ discontinuities/ { for (i = 1; i < NF; ++i) if ($(i + 1) ~ /^discontinuities/) total = $i }
             /^  at frame/ { if ($3 + 0 < 48000) early++ }
             END { exit (total - (early > 0 ? 1 : 0) > 0) }' <<<"$report" || bad=$((bad + 1))
    done
    echo "$(awk -v a="$after" -v b="$before" -v s="$seconds" 'BEGIN { print (a - b) / s }') $rss $bad"
}

# ours!: files that the checker rejects; peer!: of the first and last channel of the
# peer's single file, those with a gap; skipped: cycles in which the server logged a late
# client (ours/peer's).
printf "%8s  %12s %12s  %10s %10s  %6s %6s  %8s  %8s\n" channels "ours cpu/s" "peer cpu/s" "ours MiB" "peer MiB" "ours!" "peer!" "skipped" "ratio"
for n in $counts; do
    start_server "$n"

    read -r ours_cpu ours_rss ours_bad < <(run_ours "$n")
    ours_xruns=$(grep -c "XRun" "$work/jackd-$n.log" || true)
    read -r peer_cpu peer_rss peer_bad < <(run_peer "$n")
    peer_xruns=$(( $(grep -c "XRun" "$work/jackd-$n.log" || true) - ours_xruns ))
    awk -v n="$n" -v oc="$ours_cpu" -v pc="$peer_cpu" -v orss="$ours_rss" -v prss="$peer_rss" -v ob="$ours_bad" -v pb="$peer_bad" \
        -v ox="$ours_xruns" -v px="$peer_xruns" \
        'BEGIN { printf "%8d  %12.4f %12.4f  %10.1f %10.1f  %6d %6d  %4d/%-4d  %8.2f\n", n, oc, pc, orss / 1024, prss / 1024, ob, pb, ox, px, (pc > 0 ? oc / pc : 0) }'

    stop_server
done
