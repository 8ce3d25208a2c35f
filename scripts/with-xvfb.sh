#!/bin/sh
# Runs a command with DISPLAY set to a fresh Xvfb server on a free display
# number, large enough (1280x1024) to show a 640x480 picture scaled up.
# An existing DISPLAY is not reused: tests must not depend on the desktop.
set -e
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r num <"$fifo"
rm -f "$fifo"
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null' EXIT INT TERM
export DISPLAY=":$num"
"$@"
