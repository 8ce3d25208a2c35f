#!/bin/sh
# Runs a command with DISPLAY set to a fresh Xvfb server on a free display
# number, large enough (1280x1024) to show a 640x480 picture scaled up.
# An existing DISPLAY is not reused: tests must not depend on the desktop.
# XVFB_SCREEN (e.g. 1920x1080x24) gives another screen size.
set -e
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 ${XVFB_SCREEN:-1280x1024x24} -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r num <"$fifo"
rm -f "$fifo"
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null' EXIT INT TERM
export DISPLAY=":$num"
"$@"
