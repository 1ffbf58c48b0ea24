#!/usr/bin/env bash
# Drives the real recorder binary on the test display, as a user would.
#   shell_test.sh APP SCENARIO
# Scenarios: title, limits, single-instance, close-idle, settings-restart, settings-entities,
# sigterm, sigint, child-signals, no-display.
set -euo pipefail

app=$1
scenario=$2

[ -n "${DISPLAY:-}" ] || { echo "needs a display (the test command starts Xvfb)"; exit 1; }
source "$(dirname "$0")/instance_lock.sh"
refuse_if_another_instance

home=$(mktemp -d /tmp/velmora-app-home-XXXXXX)
log=$home/app.log
pid=""

cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$home"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; echo "--- app output"; cat "$log" 2>/dev/null | tail -20; exit 1; }

start_app() {
    HOME=$home "$app" >"$log" 2>&1 &
    pid=$!
    wid=$(timeout 30 xdotool search --sync --onlyvisible --name "^Velmora Recorder" | head -1) || fail "no window"
    sleep 0.5
}

geometry() { eval "$(xdotool getwindowgeometry --shell "$wid")"; }

# The size limits a window manager reads from the window's WM_NORMAL_HINTS.
expect_size_hints() {   # WHEN
    local hints; hints=$(xprop -id "$wid" WM_NORMAL_HINTS)
    grep -q "program specified minimum size: 800 by 550" <<<"$hints" \
        && grep -q "program specified maximum size: 4000 by 4000" <<<"$hints" \
        || fail "size hints $1: $hints"
}

# Waits for the app to end and checks that it ended by itself with code 0.
expect_exit_zero() {
    local rc=0
    for _ in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "still running"
    wait "$pid" || rc=$?
    pid=""
    [ "$rc" -eq 0 ] || fail "exit code $rc"
}

# Clicks "Save global settings" and dismisses the modal "Settings saved." box.
save_settings() {
    xdotool mousemove $((content_x + 440 + 75)) $((content_y + 40 + 10)); sleep 0.3
    xdotool click 1
    box=$(timeout 15 xdotool search --sync --onlyvisible --name "^Settings saved.$" | head -1) || fail "no 'Settings saved.' box"
    sleep 0.5
    xdotool windowfocus "$box" 2>/dev/null || true; sleep 0.2
    xdotool key Return
    for _ in $(seq 1 50); do
        xdotool search --onlyvisible --name "^Settings saved.$" >/dev/null 2>&1 || return 0
        sleep 0.2
    done
    fail "the box stayed open"
}

# Holds the button until the window has the size expected of the drag, as a user
# would: a slow build may still be painting an earlier step, and the framework reads
# the button's real state when it catches up, so a release sent too early turns the
# last steps into plain moves. While it waits, the pointer keeps nudging around the
# target: a motion event the window never got is not sent again, so without fresh
# motion the window would stay where an earlier step left it. Both targets lie far
# past a limit, so a pixel either way ends at the same size.
drag() {   # x1 y1 x2 y2 expected-width expected-height
    xdotool mousemove "$1" "$2"; sleep 0.3
    xdotool mousedown 1; sleep 0.3
    for i in 1 2 3 4 5 6 7 8; do
        xdotool mousemove $(( $1 + ($3 - $1) * i / 8 )) $(( $2 + ($4 - $2) * i / 8 )); sleep 0.3
    done
    for n in $(seq 1 120); do
        geometry
        [ "$WIDTH" -eq "$5" ] && [ "$HEIGHT" -eq "$6" ] && break
        xdotool mousemove $(( $3 + n % 2 )) $(( $4 + n % 2 )); sleep 0.5
    done
    xdotool mousemove "$3" "$4"; sleep 0.3
    xdotool mouseup 1; sleep 1
}

case $scenario in
    title)
        start_app
        name=$(xdotool getwindowname "$wid")
        [ "$name" = "Velmora Recorder 1.0 (Olvarin Audioware)" ] || fail "title is '$name'"
        ;;

    limits)
        start_app
        expect_size_hints "after start"
        geometry
        # The window fits the 800 x 550 content plus its title bar and border.
        [ "$WIDTH" -gt 800 ] && [ "$HEIGHT" -gt 550 ] || fail "initial size ${WIDTH}x${HEIGHT}"
        # Shrink with the corner resizer far below the limits: the outer size stops at 800 x 550.
        drag $((X + WIDTH - 4)) $((Y + HEIGHT - 4)) $((X + 100)) $((Y + 80)) 800 550
        geometry
        [ "$WIDTH" -eq 800 ] && [ "$HEIGHT" -eq 550 ] || fail "shrunk to ${WIDTH}x${HEIGHT}"
        expect_size_hints "after shrinking"
        # Grow from the screen's top left far beyond 4000 x 4000: it stops at 4000 x 4000.
        xdotool windowmove "$wid" 0 0; sleep 0.5
        geometry
        drag $((X + WIDTH - 4)) $((Y + HEIGHT - 4)) 4190 4190 4000 4000
        geometry
        [ "$WIDTH" -eq 4000 ] && [ "$HEIGHT" -eq 4000 ] || fail "grown to ${WIDTH}x${HEIGHT}"
        expect_size_hints "after growing"
        ;;

    single-instance)
        skip_unless_lock_can_be_taken
        start_app
        rc=0
        HOME=$home timeout 20 "$app" >"$home/second.log" 2>&1 || rc=$?
        [ "$rc" -eq 0 ] || fail "second start ended with $rc"
        count=$(xdotool search --onlyvisible --name "^Velmora Recorder" | wc -l)
        [ "$count" -eq 1 ] || fail "$count windows"
        kill -0 "$pid" || fail "first instance gone"
        ;;

    close-idle)
        start_app
        geometry
        # The framework-drawn close button sits at the right end of the title bar.
        xdotool mousemove $((X + WIDTH - 14)) $((Y + 13)); sleep 0.3
        xdotool click 1
        expect_exit_zero
        ;;

    settings-restart)
        # Type a prefix and save; a second start applies it, which its own save shows.
        settings=$home/.config/"Olvarin Audioware"/"Velmora Recorder"/Settings.xml
        start_app
        geometry
        content_x=$((X + 1)); content_y=$((Y + HEIGHT - 550 - 1))
        xdotool mousemove $((content_x + 10 + 50 + 70)) $((content_y + 70 + 5 + 10)); sleep 0.3
        xdotool click 1; sleep 0.3
        xdotool key ctrl+a; sleep 0.2
        xdotool type --delay 60 "Session7"; sleep 0.5
        save_settings
        grep -q 'Obj="prefixTB" Value="Session7"' "$settings" || fail "first save: $(cat "$settings" 2>/dev/null)"
        kill -TERM "$pid"; expect_exit_zero

        start_app
        geometry
        save_settings
        [ "$(grep -c '<SETTING' "$settings")" -eq 5 ] || fail "second save: $(cat "$settings")"
        grep -q 'ID="0" Obj="prefixTB" Value="Session7"' "$settings" || fail "not applied: $(cat "$settings")"
        ;;

    settings-entities)
        # A settings file whose entity refers to itself: read as no settings, not a crash.
        settings_dir=$home/.config/"Olvarin Audioware"/"Velmora Recorder"
        mkdir -p "$settings_dir"
        printf '%s' '<!DOCTYPE vrSettings [<!ENTITY a "&xa;">]><vrSettings><SETTING Obj="prefixTB" Value="&a;"/></vrSettings>' \
            >"$settings_dir/Settings.xml"
        start_app
        kill -0 "$pid" || fail "ended at start"
        kill -TERM "$pid"; expect_exit_zero
        ;;

    child-signals)
        # The web-site button starts the browser; a stand-in records the signals it blocks.
        mkdir -p "$home/bin"
        cat >"$home/bin/xdg-open" <<STUB
#!/bin/sh
grep SigBlk /proc/self/status >"$home/blocked"
STUB
        chmod +x "$home/bin/xdg-open"
        PATH=$home/bin:$PATH start_app
        geometry
        xdotool mousemove $((X + 1 + 760)) $((Y + HEIGHT - 550 - 1 + 35)); sleep 0.3
        xdotool click 1
        for _ in $(seq 1 50); do [ -s "$home/blocked" ] && break; sleep 0.2; done
        [ -s "$home/blocked" ] || fail "the browser was not started"
        mask=$((16#$(awk '{ print $2 }' "$home/blocked")))
        # SIGINT is signal 2, SIGTERM 15: bits 1 and 14.
        [ $((mask & (1 << 1 | 1 << 14))) -eq 0 ] || fail "the child blocks SIGINT or SIGTERM: $(cat "$home/blocked")"
        ;;

    no-display)
        for display in "" ":4095"; do
            rc=0
            if [ -z "$display" ]; then
                HOME=$home timeout 20 env -u DISPLAY "$app" >"$log" 2>&1 || rc=$?
            else
                HOME=$home DISPLAY=$display timeout 20 "$app" >"$log" 2>&1 || rc=$?
            fi
            [ "$rc" -ne 0 ] && [ "$rc" -ne 124 ] && [ "$rc" -lt 128 ] || fail "DISPLAY='$display': exit code $rc"
            grep -q "no display could be opened" "$log" || fail "DISPLAY='$display': no word of it"
            [ "$(wc -l <"$log")" -eq 1 ] || fail "DISPLAY='$display': more than one line"
        done
        ;;

    sigterm|sigint)
        start_app
        kill -"${scenario#sig}" "$pid"
        expect_exit_zero
        ;;

    *)
        fail "unknown scenario $scenario"
        ;;
esac

echo "PASS: $scenario"
