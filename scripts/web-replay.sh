#!/bin/sh
# The same scripted game natively and in WebAssembly under Node: 2000 frames
# in red/cyan, steering, steady fire, a pause and a resume, with the
# recording driver on virtual time. Prints the md5 of the final state and of
# the mixed sound on both sides.
#   scripts/web-replay.sh [NATIVE_BUILD_DIR] [WEB_BUILD_DIR]
#     (defaults build/test and build/web-cmake; each needs its replay tool:
#      cmake --build DIR --target replay, or WEB_TARGETS=replay scripts/build-web.sh)
# Exit status: 0 both equal, 1 the states differ (or a run failed), 2 only
# the sound differs (then the differing samples are counted).
set -e
cd "$(dirname "$0")/.."
native=${1:-build/test}
web=${2:-build/web-cmake}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{
  printf '2 key down 32\n2 key up 32\n'
  printf '10 mouse move 320 245\n10 mouse down 1\n10 mouse up 1\n'
  f=150; while [ $f -lt 2000 ]; do printf '%s key down 162\n%s key up 162\n' $f $((f+1)); f=$((f+9)); done
  printf '300 key down 37\n380 key up 37\n420 key down 38\n470 key up 38\n600 key down 39\n720 key up 39\n800 key down 40\n850 key up 40\n'
  printf '1000 key down 32\n1000 key up 32\n1005 mouse move 320 335\n1100 key down 32\n1100 key up 32\n'
  printf '1300 key down 37\n1302 key down 38\n1400 key up 37\n1410 key up 38\n'
} | sort -n -s -k1,1 >"$work/script.txt"
for side in native wasm; do
  mkdir -p "$work/$side/data"
  cp data/*.ogg "$work/$side/data/"
  printf '\003\000\000\000' >"$work/$side/data/anaglyph3d.dat"
done
args="--driver record --clock 1000 --frames 2000 --script $work/script.txt"
export LSAN_OPTIONS=suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0
SDL_AUDIODRIVER=dummy "$native/tools/replay/replay" $args --dir "$work/native" \
  --audio "$work/native/audio.wav" --state "$work/native/state.json" >"$work/native.log" 2>&1 ||
  { echo "web-replay: the native replay failed:"; tail "$work/native.log"; exit 1; }
NODE_PATH=${NODE_PATH:-/usr/share/nodejs} node --no-experimental-fetch "$web/tools/replay/replay.js" $args \
  --dir "$work/wasm" --audio "$work/wasm/audio.wav" --state "$work/wasm/state.json" >"$work/wasm.log" 2>&1 ||
  { echo "web-replay: the wasm replay failed:"; tail "$work/wasm.log"; exit 1; }
grep -q '"shots_fired": [1-9]' "$work/native/state.json" || { echo "web-replay: the scripted game fired no shot"; exit 1; }
status=0
for f in state.json audio.wav; do
  a=$(md5sum <"$work/native/$f" | cut -d' ' -f1); b=$(md5sum <"$work/wasm/$f" | cut -d' ' -f1)
  echo "web-replay: $f native $a wasm $b"
  [ "$a" = "$b" ] && continue
  if [ $f = state.json ]; then
    diff "$work/native/$f" "$work/wasm/$f" | head -20
    status=1
  else
    # 16-bit samples after the 44-byte header.
    python3 - "$work/native/$f" "$work/wasm/$f" <<'EOF'
import struct, sys
a, b = (open(p, 'rb').read()[44:] for p in sys.argv[1:3])
n = min(len(a), len(b)) // 2
sa, sb = struct.unpack(f'<{n}h', a[:2 * n]), struct.unpack(f'<{n}h', b[:2 * n])
d = [abs(x - y) for x, y in zip(sa, sb) if x != y]
print(f'web-replay: the sound differs in {len(d)} of {n} samples (largest {max(d, default=0)}), lengths {len(a)} and {len(b)} bytes')
EOF
    [ $status -eq 1 ] || status=2
  fi
done
exit $status
