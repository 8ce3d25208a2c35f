#!/bin/sh
# make web: the libraries from the cache (built first when missing), then the
# game for the browser into build/web/ (index.html and the files it loads,
# named after their content: kelvora3d.<hash>.js, .wasm, .data, ...) and the
# replay harness for Node.
set -e
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}   # emcc's acorn, for a Node not from Debian
start=$(date +%s)
prefix=$(nice -n 10 ./scripts/web-deps.sh)
deps=$(date +%s)
cmake -G Ninja -S . -B build/web-cmake -DCMAKE_TOOLCHAIN_FILE=cmake/web.cmake -DKV_WEB_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=OFF -DKV_WEB_OUT="$(pwd)/build/web" >/dev/null
cmake --build build/web-cmake -j"$JOBS" --target kelvora3d_web ${WEB_TARGETS:-}
end=$(date +%s)
echo "build/web/ (libraries $((deps - start)) s, game $((end - deps)) s):"
total=0
for f in build/web/*; do
  gz=$(gzip -9c "$f" | wc -c); total=$((total + gz))
  printf '  %-28s %9d bytes  %9d gzip -9\n' "$(basename "$f")" "$(stat -c %s "$f")" "$gz"
done
printf '  %-28s %26d gzip -9\n' all "$total"
