#!/bin/sh
# The browser build's stage of make test: builds the page and the replay
# harness with emscripten (libraries from the cache), replays a scripted game
# under Node and natively and compares them bit for bit, then plays the page
# in headless Chromium.
#   scripts/test-web.sh [NATIVE_BUILD_DIR]   (default build/test; needs its replay tool)
set -e
cd "$(dirname "$0")/.."
native=${1:-build/test}
start=$(date +%s)
./scripts/install-deps.sh web
WEB_TARGETS=replay ./scripts/build-web.sh
built=$(date +%s)
status=0

# Everything the page loads, compressed as a web server would send it.
total=0
for f in build/web/*; do total=$((total + $(gzip -9c "$f" | wc -c))); done
echo "web: page $total bytes compressed (at most 3145728)"
[ "$total" -le 3145728 ] || { echo "web: FAILED: the page is over 3 MB compressed"; status=1; }

# The same scripted game natively and in wasm: 2000 frames in red/cyan,
# steering, steady fire, a pause and a resume; the final state and the mixed
# sound must be identical.
work=$(mktemp -d)
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
cmake --build "$native" -j"${JOBS:-2}" --target replay >/dev/null
args="--driver record --clock 1000 --frames 2000 --script $work/script.txt"
SDL_AUDIODRIVER=dummy "$native/tools/replay/replay" $args --dir "$work/native" \
  --audio "$work/native/audio.wav" --state "$work/native/state.json" >"$work/native.log" 2>&1 ||
  { echo "web: native replay failed"; cat "$work/native.log"; status=1; }
node --no-experimental-fetch build/web-cmake/tools/replay/replay.js $args --dir "$work/wasm" \
  --audio "$work/wasm/audio.wav" --state "$work/wasm/state.json" >"$work/wasm.log" 2>&1 ||
  { echo "web: wasm replay failed"; cat "$work/wasm.log"; status=1; }
for f in state.json audio.wav; do
  a=$(md5sum <"$work/native/$f" | cut -d' ' -f1); b=$(md5sum <"$work/wasm/$f" | cut -d' ' -f1)
  echo "web: replay $f native $a wasm $b"
  [ "$a" = "$b" ] || { echo "web: FAILED: the wasm replay's $f differs"; diff "$work/native/$f" "$work/wasm/$f" | head; status=1; }
done
grep -q '"shots_fired": [1-9]' "$work/native/state.json" || { echo "web: FAILED: the scripted game fired no shot"; status=1; }
replayed=$(date +%s)

# The page in Chromium.
python3 tests/web/browser_test.py build/web --out "$work/browser" ${WEB_TEST_ARGS:-} || status=1
rm -rf "$work"
echo "web: build $((built - start)) s, replays $((replayed - built)) s, browser $(($(date +%s) - replayed)) s"
exit $status
