#!/bin/bash
# kelvora3d.exe under Wine beside the Linux program, on the X server of
# $DISPLAY (a part of scripts/wine-tests.sh, which sets up the Wine prefix).
#   wine-program-test.sh WINDOWS_BUILD NATIVE_BUILD OUT_DIR APPDATA_FOLDER
set -euo pipefail
WB=$1 NATIVE=$2 OUT=$3 SAVES=$4
SRC=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$OUT"
mkdir -p "$OUT/linux/data" "$OUT/home"
status=0
fail() { echo "FAILED: $*"; status=1; }

# Wine's audio finds an output on ALSA's null device, as a machine without
# a sound card has nothing else.
printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' >"$OUT/home/.asoundrc"

window_of() {  # PID: the game's window once it shows
  for _ in $(seq 1 400); do
    id=$(xdotool search --onlyvisible --name '^Kelvora 3D$' 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.25
  done
  return 1
}
# Skips the start-up logo with Space and grabs the title screen once it has
# stood still for a moment.
title_shot() {  # WINDOW OUT.png
  xdotool mousemove --window "$1" 320 250
  sleep 1
  xdotool key space
  local last="" shot
  for i in $(seq 1 40); do
    sleep 0.5
    shot=$OUT/shot-$i.png
    import -window "$1" "$shot" 2>/dev/null || continue
    if [ -n "$last" ] && [ "$(compare -metric AE "$last" "$shot" null: 2>&1 || true)" = 0 ]; then
      mv "$shot" "$2"; rm -f "$OUT"/shot-*.png; return 0
    fi
    last=$shot
  done
  return 1
}
escape_until_exit() {  # PID
  for _ in $(seq 1 20); do
    kill -0 "$1" 2>/dev/null || break
    xdotool key Escape
    sleep 1
  done
  local st=0
  wait "$1" || st=$?
  echo "$st"
}

# The Linux program, a portable copy of it, for the reference picture.
cp "$NATIVE/kelvora3d" "$OUT/linux/"
cp "$SRC"/data/*.ogg "$OUT/linux/data/"
SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 "$OUT/linux/kelvora3d" --window=1 >"$OUT/linux.log" 2>&1 &
pid=$!
if id=$(window_of $pid) && title_shot "$id" "$OUT/title-linux.png"; then :; else fail "no title screen from the Linux program"; fi
escape_until_exit $pid >/dev/null

# The Windows program as an administrator installs it: C:\Program Files.
inst="$WINEPREFIX/drive_c/Program Files/Kelvora3D"
rm -rf "$inst" "$SAVES"
mkdir -p "$inst/data"
cp "$WB/kelvora3d.exe" "$inst/"
cp "$SRC"/data/*.ogg "$inst/data/"
(cd "$OUT" && HOME=$OUT/home exec wine "$inst/kelvora3d.exe" --window=1 --record run.txt) >"$OUT/wine.log" 2>&1 &
pid=$!
if id=$(window_of $pid); then
  if title_shot "$id" "$OUT/title-windows.png"; then
    differ=$(compare -metric AE "$OUT/title-linux.png" "$OUT/title-windows.png" "$OUT/title-difference.png" 2>&1 || true)
    echo "wine: title screen: $differ of $((640 * 480)) pixels differ from the Linux program's"
    [ "$differ" = 0 ] || fail "the title screen differs from the Linux program's ($OUT/title-difference.png)"
  else
    fail "no title screen from kelvora3d.exe"
  fi
  # 3D Graphics once (to M\G), then Start Game; fire with left Ctrl.
  xdotool mousemove --window "$id" 320 282 click 1
  sleep 0.5
  xdotool mousemove --window "$id" 320 252 click 1
  sleep 1.5
  xdotool keydown Control_L
  sleep 2
  xdotool keyup Control_L
  sleep 0.5
  import -window "$id" "$OUT/play-windows.png" 2>/dev/null || true
fi
st=$(escape_until_exit $pid)
echo "wine: kelvora3d.exe ended with status $st"
[ "$st" = 0 ] || { tail -n 20 "$OUT/wine.log"; fail "kelvora3d.exe ended with status $st"; }

final() { sed -n "s/^# final $1 //p" "$OUT/run.txt"; }
shots=$(final shots_fired)
echo "wine: the game recorded $(sed -n 's/^# frames //p' "$OUT/run.txt") frames, $shots shots fired, 3D mode $(final mode3d)"
[ -n "$shots" ] && [ "${shots%.*}" -gt 0 ] || fail "no shot was fired"
hi=$(od -An -tx1 "$SAVES/hiscore.dat" 2>/dev/null | tr -d ' \n')
mode=$(od -An -tx1 "$SAVES/anaglyph3d.dat" 2>/dev/null | tr -d ' \n')
echo "wine: saved in %APPDATA%\\Kelvora3D\\ ($SAVES): hiscore.dat [$hi] anaglyph3d.dat [$mode]"
[ "$hi" = 00000000 ] || fail "hiscore.dat not saved in %APPDATA%\\Kelvora3D"
[ "$mode" = 01000000 ] || fail "anaglyph3d.dat does not hold the 3D mode chosen"
[ ! -e "$inst/data/hiscore.dat" ] || fail "the values went beside the installed program"
exit $status
