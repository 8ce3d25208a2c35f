#!/bin/bash
# kelvora3d.exe under Wine beside the Linux program, on the X server of
# $DISPLAY (a part of scripts/wine-tests.sh, which sets up the Wine prefix).
# Windows are found by process, and every input waits in the program's
# state log for its effect before the next.
#   wine-program-test.sh WINDOWS_BUILD NATIVE_BUILD OUT_DIR APPDATA_FOLDER
set -euo pipefail
WB=$1 NATIVE=$2 OUT=$3 SAVES=$4
SRC=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$OUT"
mkdir -p "$OUT/linux/data" "$OUT/home"
OUT=$(cd "$OUT" && pwd)
status=0
fail() { echo "FAILED: $*"; status=1; }
# Each program runs in a process group of its own (with the explorer.exe
# Wine may start for its window), ended however the script ends; so is the
# prefix's wineserver with its services when it was started here (a run of
# this script alone), not the caller's.
groups=""
own_server="" bare_x=""
wineserver -p </dev/null >/dev/null 2>&1 && own_server=1
trap 'for g in $groups; do kill -KILL -- "-$g" 2>/dev/null || true; done
      [ -z "$bare_x" ] || kill "$bare_x" 2>/dev/null || true
      [ -z "$own_server" ] || wineserver -k 2>/dev/null || true' EXIT

# Wine's audio finds an output on ALSA's null device, as a machine without
# a sound card has nothing else.
printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' >"$OUT/home/.asoundrc"

# Every program writes a line per frame to its state log (KELVORA3D_STATE_LOG,
# $slog here): each input waits there for its effect before the next. The
# time limits only bound a failure.
pid="" slog=""
frame=0 state=-1 mode3d=-1 shots=-1
read_state() {  # the newest line of $slog into frame, state, mode3d and shots
  read -r frame state mode3d shots < <(tail -n 1 "$slog" 2>/dev/null |
    sed -n 's/^frame=\([0-9]*\) state=\([0-9]*\) .* mode3d=\([0-9]*\) shots=\([0-9]*\)$/\1 \2 \3 \4/p') ||
    { frame=0 state=-1 mode3d=-1 shots=-1; }
}
until_seen() {  # SECONDS CONDITION: until the arithmetic CONDITION holds on the newest line; false if $pid ends first
  local end=$((SECONDS + $1))
  while :; do
    read_state
    (( $2 )) && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    if [ "$SECONDS" -ge "$end" ]; then
      echo "wine: waited $1 s for $2 in vain; last line of $slog: $(tail -n 1 "$slog" 2>/dev/null || echo none)" >&2
      return 1
    fi
    sleep 0.05
  done
}
frames_on() {  # N: until N more frames are drawn (for an input that shows only on the screen)
  read_state
  until_seen 30 "frame >= $((frame + $1))"
}
windows_of() { xdotool search --onlyvisible --pid "$1" 2>/dev/null || true; }  # PID: its shown windows
window_of() {  # PID: the newest shown window of the process, once its first frame is drawn
  until_seen 120 'frame >= 1' || return 1
  local id
  for _ in $(seq 1 200); do
    id=$(windows_of "$1" | tail -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}
# Skips the start-up logo with Space and grabs the title screen once it
# stands still from one frame to the next.
title_shot() {  # WINDOW OUT.png
  xdotool mousemove --window "$1" 320 250
  frames_on 2 || return 1
  xdotool windowfocus "$1" key space
  until_seen 30 'state == 4' || return 1
  local last="" shot
  for i in $(seq 1 40); do
    frames_on 2 || return 1
    shot=$OUT/shot-$i.png
    import -window "$1" "$shot" 2>/dev/null || continue
    # Still, and not the black of a window that has drawn nothing yet.
    if [ -n "$last" ] && [ "$(compare -metric AE "$last" "$shot" null: 2>&1 || true)" = 0 ] &&
       [ "$(convert "$shot" -format '%[fx:mean > 0.05]' info:)" = 1 ]; then
      mv "$shot" "$2"; rm -f "$OUT"/shot-*.png; return 0
    fi
    last=$shot
  done
  return 1
}
wait_gone() {  # PID [SECONDS]: true once it has ended
  for _ in $(seq 1 $((${2:-30} * 20))); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.05; done
  return 1
}
end_program() { kill -KILL -- "-$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }  # its group, at once
exit_status=""
escape_until_exit() {  # WINDOW: Escape, each once the one before has changed the state, until $pid ends; its status in exit_status
  for _ in $(seq 1 6); do
    kill -0 "$pid" 2>/dev/null || break
    read_state
    xdotool windowfocus "$1" key Escape 2>/dev/null || true
    until_seen 30 "state != $state" || true
  done
  # Still there after the last: ended, and the status tells.
  wait_gone "$pid" 30 || kill -KILL -- "-$pid" 2>/dev/null || true
  exit_status=0
  wait "$pid" || exit_status=$?
}

# The Linux program, a portable copy of it, for the reference picture.
cp "$NATIVE/kelvora3d" "$OUT/linux/"
cp "$SRC"/data/*.ogg "$OUT/linux/data/"
slog=$OUT/linux.state
SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 KELVORA3D_STATE_LOG=$slog setsid "$OUT/linux/kelvora3d" --window=1 \
  </dev/null >"$OUT/linux.log" 2>&1 &
pid=$!
groups="$groups $pid"
if id=$(window_of $pid) && title_shot "$id" "$OUT/title-linux.png"; then
  escape_until_exit "$id"
else
  fail "no title screen from the Linux program"
  end_program
fi

# The Windows program as an administrator installs it: C:\Program Files.
inst="$WINEPREFIX/drive_c/Program Files/Kelvora3D"
rm -rf "$inst" "$SAVES"
mkdir -p "$inst/data"
cp "$WB/kelvora3d.exe" "$inst/"
cp "$SRC"/data/*.ogg "$inst/data/"
start_exe() {  # EXE RUN_NAME [ARGUMENTS...]: started in OUT, its output in RUN_NAME.log, pid in pid
  local exe=$1 name=$2
  shift 2
  slog=$OUT/$name.state
  # The state log by a name relative to the folder it starts in (Z:\...).
  (cd "$OUT" && HOME=$OUT/home KELVORA3D_STATE_LOG=$name.state exec setsid wine "$exe" "$@") \
    </dev/null >"$OUT/$name.log" 2>&1 &
  pid=$!
  groups="$groups $pid"
}
start_windows() {  # RUN_NAME: starts it with --record OUT/RUN_NAME.txt, pid in pid
  start_exe "$inst/kelvora3d.exe" "$1" --window=1 --record "$1.txt"
}
saved() { { od -An -tx1 "$1" 2>/dev/null || true; } | tr -d ' \n'; }  # FILE: its bytes in hex
final() { sed -n "s/^# final .*\\b$2=\\([^ ]*\\).*/\\1/p" "$OUT/$1.txt"; }

# A game: the title against the Linux program's, 3D Graphics once (to M\G)
# and Start Game with the mouse, fire with left Ctrl, Escape until it ends.
start_windows play
if id=$(window_of $pid); then
  if ! title_shot "$id" "$OUT/title-windows.png"; then
    fail "no title screen from kelvora3d.exe"
  elif [ -s "$OUT/title-linux.png" ]; then
    # The moon surface below the horizon is laid out from the clock at the
    # start: the title, the score line and the sky above it must be equal.
    whole=$(compare -metric AE "$OUT/title-linux.png" "$OUT/title-windows.png" "$OUT/title-difference.png" 2>&1 || true)
    for side in linux windows; do convert "$OUT/title-$side.png" -crop 640x240+0+0 +repage "$OUT/top-$side.png"; done
    top=$(compare -metric AE "$OUT/top-linux.png" "$OUT/top-windows.png" null: 2>&1 || true)
    echo "wine: title screen against the Linux program's: $top of $((640 * 240)) pixels differ above the horizon," \
      "$whole of $((640 * 480)) in all (the moon surface is laid out from the clock)"
    [ "$top" = 0 ] || fail "the title screen differs from the Linux program's ($OUT/title-difference.png)"
  fi
  xdotool mousemove --window "$id" 320 282 click 1
  until_seen 30 'mode3d == 1' || fail "3D Graphics did not change the 3D mode"
  xdotool mousemove --window "$id" 320 252 click 1
  until_seen 30 'state == 2' || fail "Start Game did not start a game"
  xdotool windowfocus "$id" keydown Control_L
  until_seen 30 'shots > 0' || true
  xdotool keyup Control_L
  frames_on 2 || true
  import -window "$id" "$OUT/play-windows.png" 2>/dev/null || true
  escape_until_exit "$id"
else
  fail "kelvora3d.exe showed no window"
  end_program
fi
if [ -s "$OUT/play.txt" ]; then
  shots=$(final play shots_fired)
  echo "wine: a game of $(sed -n 's/^# frames //p' "$OUT/play.txt") frames, $shots shots fired, left with Escape" \
    "to the title and out, status $exit_status"
  [ "${shots:-0}" -gt 0 ] || fail "no shot was fired"
  [ "$(final play game_state)" = 4 ] && [ "$exit_status" = 0 ] || fail "Escape did not end the game in order"
else
  fail "kelvora3d.exe did not end in order after Escape ($OUT/play.log)"
fi

# With the mouse only: 3D Graphics once, then Exit Game. It ends with
# status 0 and both values go to %APPDATA%\Kelvora3D.
rm -rf "$SAVES"
start_windows quit
if id=$(window_of $pid); then
  xdotool mousemove --window "$id" 20 470 click 1  # the logo gives way
  if until_seen 30 'state == 4'; then
    xdotool mousemove --window "$id" 320 282 click 1
    if until_seen 30 'mode3d == 1'; then xdotool mousemove --window "$id" 320 402 click 1; fi
  fi
fi
wait_gone $pid 30 || kill -KILL -- "-$pid" 2>/dev/null || true
st=0
wait $pid || st=$?
echo "wine: kelvora3d.exe left through Exit Game ended with status $st"
[ "$st" = 0 ] || { tail -n 20 "$OUT/quit.log"; fail "kelvora3d.exe ended with status $st"; }
hi=$(saved "$SAVES/hiscore.dat")
mode=$(saved "$SAVES/anaglyph3d.dat")
echo "wine: saved in %APPDATA%\\Kelvora3D\\ ($SAVES): hiscore.dat [$hi] anaglyph3d.dat [$mode]"
[ "$hi" = 00000000 ] || fail "hiscore.dat not saved in %APPDATA%\\Kelvora3D"
[ "$mode" = 01000000 ] || fail "anaglyph3d.dat does not hold the 3D mode chosen"
[ ! -e "$inst/data/hiscore.dat" ] || fail "the values went beside the installed program"

# No usable OpenGL (as on a Windows machine with only the basic display
# driver): an X server of its own without GLX. The reason is on stderr and in
# a message box, and the program ends with status 1 once the box is closed.
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -extension GLX -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
bare_x=$!
read -r bare_display <"$fifo"
rm -f "$fifo"
own_display=$DISPLAY
export DISPLAY=:$bare_display
start_exe "$inst/kelvora3d.exe" no-opengl --window=1
box=""
for _ in $(seq 1 2400); do
  box=$(windows_of $pid | tail -n 1)
  [ -n "$box" ] && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.05
done
exit_status=""
if [ -n "$box" ]; then
  import -window root "$OUT/no-opengl-box.png" 2>/dev/null || true
  title=$(xdotool getwindowname "$box" 2>/dev/null || true)
  xdotool windowfocus "$box" key Return
  wait_gone $pid 30 || kill -KILL -- "-$pid" 2>/dev/null || true
  exit_status=0
  wait $pid || exit_status=$?
else
  end_program
fi
echo "wine: without OpenGL: message box [${title:-none}] ($OUT/no-opengl-box.png), status $exit_status:" \
  "$(grep -m1 'cannot open' "$OUT/no-opengl.log" || true)"
[ -n "$box" ] && [ "$title" = "Kelvora 3D" ] || fail "no message box without OpenGL ($OUT/no-opengl.log)"
[ "$exit_status" = 1 ] || fail "without OpenGL the program ended with status $exit_status, not 1"
grep -q 'cannot open a 640x480 display: .' "$OUT/no-opengl.log" || fail "the reason was not on stderr"
export DISPLAY=$own_display
kill "$bare_x" 2>/dev/null || true
bare_x=""

# The program copied alone into a folder of the player's, without its data/:
# it says once, in a message box, that the sounds are missing, plays, and
# keeps the values in %APPDATA%\Kelvora3D. Asked for a window far larger
# than the desktop, it takes the largest that fits (1 here) and says so.
alone="$WINEPREFIX/drive_c/users/$USER/Kelvora copy"
rm -rf "$SAVES" "$alone"
mkdir -p "$alone"
cp "$WB/kelvora3d.exe" "$alone/"
start_exe "$alone/kelvora3d.exe" alone --window=16
size() { xdotool getwindowgeometry "$1" 2>/dev/null | sed -n 's/^ *Geometry: //p' || true; }
# The box comes before the game draws its first frame, and is not 640x480.
boxes=0 box="" exit_status=""
for _ in $(seq 1 2400); do
  box=$(windows_of $pid | tail -n 1)
  [ -n "$box" ] && break
  read_state
  [ "$frame" -ge 1 ] && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.05
done
read_state
if [ -n "$box" ] && [ "$frame" -lt 1 ] && [ "$(size "$box")" != 640x480 ]; then
  boxes=1
  import -window root "$OUT/no-data-box.png" 2>/dev/null || true
  xdotool windowfocus "$box" key Return
fi
game=""
if until_seen 120 'frame >= 1'; then
  for _ in $(seq 1 200); do
    for w in $(windows_of $pid); do [ "$(size "$w")" = 640x480 ] && game=$w; done
    [ -n "$game" ] && break
    sleep 0.05
  done
fi
if [ -n "$game" ] && title_shot "$game" "$OUT/title-alone.png"; then
  # Only the game's window is left.
  [ "$(windows_of $pid | wc -l)" = 1 ] || boxes=2
  escape_until_exit "$game"
else
  fail "the program alone did not reach its title"
  end_program
fi
told=$(grep -c 'sounds and music were not found' "$OUT/alone.log" || true)
echo "wine: kelvora3d.exe alone in a folder: $boxes message box(es), told $told time(s), status $exit_status," \
  "saved hiscore.dat [$(saved "$SAVES/hiscore.dat")] anaglyph3d.dat [$(saved "$SAVES/anaglyph3d.dat")]"
[ "$boxes" = 1 ] && [ "$told" = 1 ] || fail "the missing sounds were not said once in a message box ($OUT/alone.log)"
[ "$exit_status" = 0 ] || fail "the program alone ended with status $exit_status"
clamped=$(grep -c 'window at scale 16 (10240x7680) does not fit .*; scale 1 instead' "$OUT/alone.log" || true)
echo "wine: --window=16 on a 1024x768 desktop: a 640x480 window, said $clamped time(s)"
[ "$clamped" = 1 ] || fail "--window=16 was not clamped with one line saying so ($OUT/alone.log)"
! grep -i 'could not \(save\|make\)\|nowhere to keep' "$OUT/alone.log" || fail "the program alone could not save"
[ "$(saved "$SAVES/hiscore.dat")" = 00000000 ] && [ "$(saved "$SAVES/anaglyph3d.dat")" = 00000000 ] ||
  fail "the program alone did not keep its values in %APPDATA%\\Kelvora3D"
[ "$(ls -A "$alone")" = kelvora3d.exe ] || fail "the program alone wrote beside itself: $(ls -A "$alone" | tr '\n' ' ')"

# A portable tree, nothing saved yet, at its title when the session ends
# (logging off, shutting down): Windows may end it as soon as it has
# answered, and both values are on the disk by then. Last, as the session's
# end ends every program of the prefix.
tree="$WINEPREFIX/drive_c/Kelvora3D"
rm -rf "$tree"
mkdir -p "$tree/data"
cp "$WB/kelvora3d.exe" "$tree/"
cp "$SRC"/data/*.ogg "$tree/data/"
start_exe "$tree/kelvora3d.exe" session --window=1
if id=$(window_of $pid) && title_shot "$id" "$OUT/title-session.png"; then
  if [ -e "$tree/data/hiscore.dat" ] || [ -e "$tree/data/anaglyph3d.dat" ]; then
    fail "values saved before the session ended: the test proves nothing"
  fi
  wineboot --end-session </dev/null >"$OUT/end-session.log" 2>&1 || true
  wait_gone $pid || fail "kelvora3d.exe still runs after the session ended"
  st=0
  { wait $pid; } 2>/dev/null || st=$?  # killed, as the system may
  hi=$(saved "$tree/data/hiscore.dat")
  mode=$(saved "$tree/data/anaglyph3d.dat")
  echo "wine: the session ended under kelvora3d.exe at its title (status $st): hiscore.dat [$hi] anaglyph3d.dat [$mode]"
  [ "$hi" = 00000000 ] && [ "$mode" = 00000000 ] || fail "the values were not saved as the session ended"
else
  fail "no title screen from the portable tree"
  end_program
fi
exit $status
