#!/bin/sh
# Sets up the scripted game that every system must play alike: 2000 frames
# in red/cyan, the logo skipped, the title's first row clicked, steady fire
# (left Ctrl every 9 frames from frame 150), steering, and a pause from frame
# 1000 to 1100. Writes WORK/script.txt and, for each SIDE, a game folder
# WORK/SIDE with the sounds and the 3D mode set; prints the replay tool's
# arguments (recording driver, virtual clock).
#   scripts/scripted-game.sh WORK SIDE...
set -e
src=$(cd "$(dirname "$0")/.." && pwd)
work=$1; shift
mkdir -p "$work"
{
  printf '2 key down 32\n2 key up 32\n10 mouse move 320 245\n10 mouse down 1\n10 mouse up 1\n'
  f=150; while [ $f -lt 2000 ]; do printf '%s key down 162\n%s key up 162\n' $f $((f + 1)); f=$((f + 9)); done
  printf '300 key down 37\n380 key up 37\n420 key down 38\n470 key up 38\n600 key down 39\n720 key up 39\n'
  printf '800 key down 40\n850 key up 40\n1000 key down 32\n1000 key up 32\n1005 mouse move 320 335\n'
  printf '1100 key down 32\n1100 key up 32\n1300 key down 37\n1302 key down 38\n1400 key up 37\n1410 key up 38\n'
} | sort -n -s -k1,1 >"$work/script.txt"
for side in "$@"; do
  mkdir -p "$work/$side/data"
  cp "$src"/data/*.ogg "$work/$side/data/"
  printf '\003\000\000\000' >"$work/$side/data/anaglyph3d.dat"
done
echo "--driver record --clock 1000 --frames 2000 --script $work/script.txt"
