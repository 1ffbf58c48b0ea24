#!/usr/bin/env bash
# Runs a command on a private Xvfb display of its own, then stops the server.
#   scripts/with-display.sh XATOMS_TOOL COMMAND [ARGS...]
# XATOMS_TOOL is the built velmora-xatoms, which gives the bare server the
# window-manager atoms that JUCE windows expect.
set -euo pipefail

xatoms=$1; shift

display=""
for n in $(seq 91 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }

Xvfb "$display" -screen 0 4200x4200x24 -noreset -nolisten tcp >/tmp/velmora-xvfb.log 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null || true' EXIT

for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.05
done

export DISPLAY=$display
"$xatoms"
"$@"
