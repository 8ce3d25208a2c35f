#!/bin/sh
# Builds the release benchmarks and runs each one, printing its figures.
set -e
cd "$(dirname "$0")/.."
BENCH_DIR=build/bench
cmake -S . -B $BENCH_DIR -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=ON >/dev/null
cmake --build $BENCH_DIR -j"${JOBS:-2}"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
for b in $BENCH_DIR/bench/*/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  ./scripts/with-xvfb.sh "$b"
done
