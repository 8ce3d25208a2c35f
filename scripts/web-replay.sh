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
args=$(./scripts/scripted-game.sh "$work" native wasm)
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
