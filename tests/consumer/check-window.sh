#!/bin/bash
# Runs a windowed program on the X server of $DISPLAY (scripts/with-xvfb.sh)
# and checks what a player would: its window shows, the picture in it is not
# blank (pixels of another colour than the background: the text), Escape
# closes it and it exits with status 0.
#   check-window.sh SHOT.png LOG COMMAND...
# The program runs in a process group of its own, killed however this ends;
# each step waits for its effect, the time limits only bound a failure.
set -uo pipefail
shot=$1 log=$2
shift 2
fail() { echo "FAILED: $*" >&2; [ -s "$log" ] && tail -n 20 "$log" | sed 's/^/  | /' >&2; exit 1; }

setsid "$@" >"$log" 2>&1 </dev/null &
pid=$!
trap 'kill -KILL -- "-$pid" 2>/dev/null || true' EXIT

until_true() {  # SECONDS WHAT COMMAND...: until COMMAND succeeds; fails when the program ends first
  local limit=$1 what=$2 end=$((SECONDS + $1))
  shift 2
  until "$@"; do
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; fail "the program ended (status $?) before $what"; }
    [ "$SECONDS" -lt "$end" ] || fail "no $what after $limit s"
    sleep 0.1
  done
}

# Its window, found by process (as Wine's are too), once it is shown.
window=""
find_window() { window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | tail -n 1); [ -n "$window" ]; }
until_true 120 "window" find_window

# The first frame may not be presented yet when the window maps: grab until
# the picture has its text, a handful of pixels apart from the background,
# which fills most of it.
not_blank() {
  import -window "$window" "$shot" 2>/dev/null || return 1
  convert "$shot" -define histogram:unique-colors=true -format %c histogram:info:- 2>/dev/null |
    awk -F: '{ n = $1 + 0; all += n; if (n > most) most = n }
             END { other = all - most; exit !(all > 0 && other >= 20 && other <= all / 2) }'
}
until_true 60 "text in the window" not_blank

xdotool windowfocus "$window" key Escape
end=$((SECONDS + 30))
while kill -0 "$pid" 2>/dev/null; do
  [ "$SECONDS" -lt "$end" ] || fail "still running 30 s after Escape"
  sleep 0.1
done
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status after Escape"
