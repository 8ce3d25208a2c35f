#!/bin/sh
# Builds the release benchmarks and runs each one, printing its figures.
set -e
cd "$(dirname "$0")/.."
BENCH_DIR=build/bench
cmake -S . -B $BENCH_DIR -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=ON -DKV_SERVER=ON >/dev/null
cmake --build $BENCH_DIR -j"${JOBS:-2}"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
for b in $BENCH_DIR/bench/*/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  ./scripts/with-xvfb.sh "$b"
done
# Start-up and memory against the bare SDL2 + OpenGL floor, on two screens.
# Each 2D driver: the fixed-function one (gl) and the shader one on core and ES.
for driver in gl core es; do
  for screen in 1280x1024x24 1920x1080x24; do
    echo "== bench_game --versus-floor ($screen, $driver driver)"
    BENCH_DRIVER=$driver XVFB_SCREEN=$screen ./scripts/with-xvfb.sh $BENCH_DIR/bench/game/bench_game --versus-floor "${BENCH_RUNS:-5}"
  done
done
# The score server under a bounded load on loopback: runs verified a second
# per core and the time from submission to verdict.
echo "== score server load test"
python3 scripts/load-test-server.py --server $BENCH_DIR/server/kelvora3d-scores --replay $BENCH_DIR/tools/replay/replay
