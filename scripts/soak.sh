#!/usr/bin/env bash
# A long take under load: the recorder on a private display records every channel of the
# signal client on a private JACK server (48 kHz, 24 bit, 256 frames a period). Every ten
# seconds it reads the recorder's resident memory and checks that the elapsed-time clock
# on screen still moves (the timer keeps its duties); at the end every file is judged by
# the tests' rule, in one read of the take: sample-exact, but for gaps of the cycles the
# server skipped during the take. Needs about 37 MB of disk a second at 256 channels.
#   scripts/soak.sh BUILD_DIR [MINUTES] [CHANNELS]
set -euo pipefail

# A display of its own, as the tests have: on the user's, the clicks could reach other windows.
[ -n "${VELMORA_OWN_DISPLAY:-}" ] || VELMORA_OWN_DISPLAY=1 exec "$(dirname "$0")/with-display.sh" "${1:?build folder}/tests/velmora-xatoms" "$0" "$@"

build=$(cd "${1:?build folder}" && pwd)
minutes=${2:-10}
channels=${3:-256}
command -v import >/dev/null || { sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo; $sudo apt-get install -y -qq imagemagick; }
work=$(mktemp -d /tmp/velmora-soak-XXXXXX)
VELMORA_JACK_SERVER=${VELMORA_JACK_SERVER:-velmora-soak}
source "$(dirname "$0")/recorder-driver.sh"

# A checksum of the elapsed-time clock as the screen shows it. Only the recorder's window
# is grabbed: a grab of the whole 4200 x 4200 test display (70 MB, twice every ten seconds)
# made the machine itself miss JACK deadlines, the server's own timer included.
clock_picture() {
    import -window "$wid" -crop 140x30+$((cx - X + 220))+$((cy - Y + 120)) rgb:- 2>/dev/null | md5sum | cut -d' ' -f1
}

start_server "$channels"
start_app "$work/home"
click_select_all
at_record=$(skipped_cycles)
click_record

stalls=0; rss_first=""; rss_max=0; samples=0
end=$((SECONDS + minutes * 60))
while [ $SECONDS -lt $end ]; do
    sleep 10
    rss=$(awk '/VmRSS/ { print $2 }' "/proc/$app_pid/status")
    a=$(clock_picture); sleep 0.5; b=$(clock_picture)
    [ "$a" != "$b" ] || stalls=$((stalls + 1))
    samples=$((samples + 1))
    [ $SECONDS -lt $((end - minutes * 60 + 60)) ] || { [ -n "$rss_first" ] || rss_first=$rss; [ "$rss" -le "$rss_max" ] || rss_max=$rss; }
    printf "%4d s  rss %7d KiB\n" $((SECONDS - end + minutes * 60)) "$rss"
done
click_stop; skipped=$(( $(skipped_cycles) - at_record )); sleep 5; quit_app

echo "late cycles the server logged, by client and state:"
grep -o "client = .*" "$jack_log" | sort | uniq -c || true
verify_start=$SECONDS
bad=$(check_take "$work/home" "$channels" "$skipped")
echo "channels $channels, $minutes min: rss after the first minute ${rss_first} KiB, highest later ${rss_max} KiB" \
     "(growth $((rss_max - ${rss_first:-0})) KiB); clock stalls $stalls of $samples checks;" \
     "files rejected by the checker $bad; cycles the server skipped during the take $skipped;" \
     "verified in $((SECONDS - verify_start)) s"
[ "$bad" -eq 0 ] && [ "$stalls" -eq 0 ]
