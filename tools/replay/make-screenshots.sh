#!/bin/sh
# Remakes the README's screenshots under docs/ with the replay harness and
# the OpenGL driver. Usage: tools/replay/make-screenshots.sh BUILD_DIR
# (run it under scripts/with-xvfb.sh when there is no display).
set -e
cd "$(dirname "$0")/../.."
build=${1:-build}
replay="$build/tools/replay/replay"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p docs "$work/data"
cp data/*.ogg "$work/data/" 2>/dev/null || true

# run NAME MODE FRAMES SHOTS... with the script on stdin
run() {
  name=$1 mode=$2 frames=$3
  shift 3
  rm -f "$work/data/anaglyph3d.dat" "$work/data/hiscore.dat"
  if [ "$mode" != 0 ]; then
    printf "\\$(printf '%03o' "$mode")\\000\\000\\000" >"$work/data/anaglyph3d.dat"
  fi
  cat >"$work/$name.txt"
  set --  "$@"
  args=""
  for s in "$@"; do args="$args --shot $s"; done
  # shellcheck disable=SC2086
  "$replay" --driver gl --clock 1000 --dir "$work" --frames "$frames" --script "$work/$name.txt" $args
}

skip='2 key down 32
2 key up 32'
click() { printf '%s mouse move 320 %s\n%s mouse down 1\n%s mouse up 1\n' "$1" "$2" "$1" "$1"; }
fire_every() { f=$1; while [ "$f" -lt "$2" ]; do printf '%s key down 162\n%s key up 162\n' "$f" "$f"; f=$((f + $3)); done; }

run logo 0 120 "120:$PWD/docs/logo.png" </dev/null
printf '%s\n1 mouse move 320 245\n' "$skip" | run title 0 12 "12:$PWD/docs/title.png"
printf '%s\n1 mouse move 320 275\n' "$skip" | run title3d 2 12 "12:$PWD/docs/title-3d-rg.png"
printf '%s\n1 mouse move 320 275\n' "$skip" | run title3d 1 12 "12:$PWD/docs/title-3d-mg.png"
{ printf '%s\n' "$skip"; click 8 305; } | run retro 0 12 "12:$PWD/docs/title-retro.png"
# Frame 2725: the first alien hit by this steady fire has just burst into
# debris, with its score rising, while others come on.
{ printf '%s\n' "$skip"; click 10 245; fire_every 150 2725 9; } |
  run play 0 2725 "2725:$PWD/docs/play.png"
{ printf '%s\n' "$skip"; click 10 245; fire_every 150 2725 9; } |
  run play3d 3 2725 "2725:$PWD/docs/play-3d.png"
{ printf '%s\n' "$skip"; click 10 245; fire_every 150 1200 9; printf '1201 key down 32\n1201 key up 32\n1205 mouse move 320 335\n'; } |
  run pause 0 1210 "1210:$PWD/docs/pause.png"
{ printf '%s\n' "$skip"; click 10 245; fire_every 150 16100 6; } |
  run results 0 17300 "17300:$PWD/docs/results.png"
echo "screenshots written to docs/"
