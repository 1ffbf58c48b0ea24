# Shared by the benchmark scripts: a private JACK server with our signal client, and the
# recorder started on it with an isolated HOME and driven with xdotool.
# Expects: build (absolute build folder), work (scratch folder).

# The build type the folder was configured with: an earlier type's binary may still lie beside it.
app="$build/VelmoraRecorder_artefacts/$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt" 2>/dev/null)/Velmora Recorder"
signal=$build/tests/velmora-signal
wavcheck=$build/tests/velmora-wavcheck
server=${VELMORA_JACK_SERVER:-velmora-bench}   # not the tests' server, so both can run
export JACK_DEFAULT_SERVER=$server JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
pids=()

stop() { local p=$1; kill -TERM "$p" 2>/dev/null || return 0; for _ in $(seq 1 100); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done; kill -KILL "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; }
cleanup() { for p in "${pids[@]}"; do stop "$p"; done; rm -rf "$work"; }
trap cleanup EXIT
# Ours would hand itself over to a recorder already open, and the clicks would go to that one.
source "$(dirname "${BASH_SOURCE[0]}")/../tests/app/instance_lock.sh"
refuse_if_another_instance >&2
for tool in "$app" "$signal" "$wavcheck"; do [ -x "$tool" ] || { echo "not built: $tool" >&2; exit 1; }; done

cpu_seconds() {   # CPU seconds of a process so far: the run time of all its live threads
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ t += $1 } END { print t / 1e9 }'
}

thread_seconds() {   # PID -> "tid name seconds" for every thread of the process, from the
                     # scheduler's exact run time (the tick-sampled utime/stime figures of
                     # /proc disagree between a process and its threads)
    for t in /proc/"$1"/task/*; do
        [ -r "$t/schedstat" ] || continue
        local name; name=$(tr ' ' '_' <"$t/comm")
        awk -v tid="${t##*/}" -v name="$name" '{ print tid, name, $1 / 1e9 }' "$t/schedstat"
    done
}

thread_groups() {    # PID BEFORE_FILE AFTER_FILE SECONDS -> % of a core per group of threads
    awk -v pid="$1" -v s="$4" '
        function group(tid, name) {
            if (tid == pid) return "message thread (timer callbacks, painting)"
            if (name ~ /^JUCE_Timer/) return "framework timer thread"
            if (name ~ /^Audio_Recorder/) return "writer and feed threads"
            return "audio and other threads"
        }
        FNR == NR { before[$1] = $3; next }
        { used[group($1, $2)] += $3 - before[$1] }
        END { for (g in used) printf "  %-45s %6.2f %%\n", g, 100 * used[g] / s }' "$2" "$3"
}

start_server() {  # CHANNELS [PERIOD]: jackd with the signal client writing CHANNELS outputs,
                  # run as the tests run it: synchronous (a late recorder is never still
                  # reading a cycle that the signal client already overwrites) and real time
                  # where the machine allows it
    local n=$1 mode=--no-realtime
    period=${2:-256}
    chrt -f 10 true 2>/dev/null && mode=--realtime
    jackd $mode --sync --port-max 4096 -n $server -d dummy -r 48000 -p "$period" -C 0 -P 0 >"$work/jackd-$n.log" 2>&1 &
    jack_pid=$!; pids+=("$jack_pid")
    jack_log=$work/jackd-$n.log
    "$signal" --name velmora-signal --channels "$n" >"$work/signal-$n.log" 2>&1 &
    signal_pid=$!; pids+=("$signal_pid")
    for _ in $(seq 1 100); do grep -q ready "$work/signal-$n.log" 2>/dev/null && break; sleep 0.1; done
}

skipped_cycles() { grep -c "JackEngine::XRun: client" "$jack_log" || true; }   # so far, as the server logs them

stop_server() { stop "$signal_pid"; stop "$jack_pid"; }

start_app() {     # HOME_FOLDER [bare]: the recorder on device 1 (the signal client, as ALSA
                  # without a configuration lists no device, a sound card's neither), 48 kHz,
                  # 24 bit; with "bare", on no device at all. Sets app_pid, wid (its window),
                  # X, Y (the window's place) and cx, cy (the main component's corner).
    local home=$1
    mkdir -p "$home/.config/Olvarin Audioware/Velmora Recorder"
    [ "${2:-}" = bare ] || cat >"$home/.config/Olvarin Audioware/Velmora Recorder/Settings.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<vrSettings><SETTING Obj="deviceAsioCombo" Value="1"/><SETTING Obj="SRcombo" Value="48000"/><SETTING Obj="bitsCombo" Value="24"/></vrSettings>
XML
    HOME=$home ALSA_CONFIG_PATH=/dev/null "$app" >"$home.log" 2>&1 &
    app_pid=$!; pids+=("$app_pid")
    wid=$(timeout 60 xdotool search --sync --onlyvisible --name "^Velmora Recorder" | head -1) ||
        { echo "no recorder window within 60 s:" >&2; tail -5 "$home.log" >&2; exit 1; }
    sleep 3
    [ "${2:-}" = bare ] || jack_lsp -c velmora-signal: | grep "^ " >/dev/null ||
        { echo "the recorder did not open the signal client" >&2; exit 1; }
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    cx=$((X + 1)) cy=$((Y + HEIGHT - 550 - 1))
}

quit_app() {      # the platform's quit, which lets a running finalisation end first
    kill -TERM "$app_pid" 2>/dev/null || return 0
    for _ in $(seq 1 600); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    stop "$app_pid"
}

click_select_all() { xdotool mousemove $((cx + 775)) $((cy + 405)) click 1; sleep 1; }
click_record()     { xdotool mousemove $((cx + 57)) $((cy + 135)) click 1; sleep 1; }
click_stop()       { xdotool mousemove $((cx + 162)) $((cy + 135)) click 1; }

check_take() {    # HOME_FOLDER CHANNELS SKIPPED -> number of files the checker refuses, a
                  # missing file counted as one; SKIPPED cycles of the server may excuse gaps
    local home=$1 n=$2 take="$1/Documents/Olvarin Audioware/Velmora Recorder/Track"
    "$wavcheck" --take "$take" 24 48000 --skipped "$3" "$period" >"$work/check.log" 2>&1 || true
    grep -A1 "^REFUSED" "$work/check.log" | head -8 >&2
    tail -1 "$work/check.log" | awk -v n="$n" '$2 == "of" { print $1 + (n > $3 ? n - $3 : 0); found = 1 } END { if (! found) print n }'
}
