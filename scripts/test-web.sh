#!/bin/sh
# The browser build's stage of make test: builds the page and the replay
# harness with emscripten (libraries from the cache), replays a scripted game
# under Node and natively and compares them, then plays the page in headless
# Chromium, its title against the desktop ES driver's.
#   scripts/test-web.sh [NATIVE_BUILD_DIR]   (default build/test; its replay tool is built)
set -e
cd "$(dirname "$0")/.."
native=${1:-build/test}
start=$(date +%s)
./scripts/install-deps.sh web
WEB_TARGETS="replay alien_rain_web" ./scripts/build-web.sh
cmake --build "$native" -j"${JOBS:-2}" --target replay >/dev/null
built=$(date +%s)
status=0

# The committed order of libvorbis's butterflies against this GCC's; not a
# pass when GCC's dump can no longer be read.
vorbis=0
python3 scripts/vorbis-gcc-order.py check || vorbis=$?
case $vorbis in
  0) ;;
  77) echo "web: SKIPPED: libvorbis's butterflies are not checked against this GCC" ;;
  *) echo "web: FAILED: libvorbis's butterflies are not in this GCC's order"; status=1 ;;
esac

# Everything the page loads, compressed as a web server would send it (the
# folder holds only the page's files: the build removes an earlier build's).
total=0
for f in build/web/*; do
  [ "${f##*/}" = licences.txt ] && continue   # served, never loaded by the page
  total=$((total + $(gzip -9c "$f" | wc -c)))
done
echo "web: the page loads $total bytes compressed (at most 3145728)"
[ "$total" -le 3145728 ] || { echo "web: FAILED: the page is over 3 MB compressed"; status=1; }

# The same game natively and in wasm: the same final state and, bit for
# bit, the same mixed sound.
./scripts/web-replay.sh "$native" build/web-cmake || { echo "web: FAILED: the wasm replay differs from the native one"; status=1; }
replayed=$(date +%s)

# The page's title is compared with the desktop ES driver's, drawn by the
# native replay with the page's random seed.
python3 tests/web/browser_test.py build/web --native-replay "$native/tools/replay/replay" \
  ${WEB_TEST_OUT:+--out "$WEB_TEST_OUT"} || status=1
# A program on the engine alone, on the general page.
python3 tests/web/example_page_test.py build/web-examples/alien_rain || status=1
echo "web: build $((built - start)) s, replays $((replayed - built)) s, browser $(($(date +%s) - replayed)) s"
exit $status
