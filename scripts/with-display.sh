#!/usr/bin/env bash
# Runs a command on a private Xvfb display of its own, then stops the server.
#   scripts/with-display.sh XATOMS_TOOL COMMAND [ARGS...]
# XATOMS_TOOL is the built velmora-xatoms, which gives the bare server the
# window-manager atoms that JUCE windows expect.
set -euo pipefail

xatoms=$1; shift

# The server picks a free display number itself and reports it, so that several of
# these can start at the same moment.
fifo=$(mktemp -u /tmp/velmora-xvfb-XXXXXX)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 4200x4200x24 -noreset -nolisten tcp 3>"$fifo" >"$fifo.log" 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null || true; rm -f "$fifo" "$fifo.log"' EXIT

read -r -t 30 number <"$fifo" || { echo "Xvfb did not start: $(cat "$fifo.log")" >&2; exit 1; }

export DISPLAY=":$number"
"$xatoms"
"$@"
