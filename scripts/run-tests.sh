#!/bin/sh
# Builds the sanitised test build and runs every test under a private Xvfb.
# Stages: ASan+UBSan tests (all), ThreadSanitizer for the threaded tests,
# each fuzz target on its corpus from a fixed seed when clang is present, the
# Windows build under Wine (scripts/wine-tests.sh), programs built on the
# installed engine (tests/consumer/run.sh) and the browser build in headless
# Chromium.
set -e
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}
TEST_DIR=build/test

# Each stage's time, printed at the end beside the whole run's.
began=$(date +%s); stage_began=$began; times=""
stage_done() {
  now=$(date +%s)
  times="$times
  $1: $((now - stage_began)) s"
  stage_began=$now
}

# Line tables only (-g1): the sanitisers' reports name files and lines, and
# the build takes about a quarter less time than with full debug information.
DEBUG_INFO="-DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1"
cmake -S . -B $TEST_DIR -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DCMAKE_C_FLAGS=-O1 $DEBUG_INFO \
  -DKV_SANITIZE=ON -DKV_BENCH=OFF -DKV_SERVER=ON >/dev/null
cmake --build $TEST_DIR -j"$JOBS"
stage_done "sanitised build"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
# Mesa's shader cache writes from a thread of its own, which may still be at
# work as a program ends; LeakSanitizer's exit scan then sometimes crashes in
# that thread's TLS ("Tracer caught signal 11") and fails a sound run. Each
# test program compiles its shaders afresh instead.
export MESA_SHADER_CACHE_DISABLE=true
status=0
./scripts/with-xvfb.sh ctest --test-dir $TEST_DIR --output-on-failure -j"$JOBS" --timeout 300 || status=1
stage_done "suites under Xvfb"
./scripts/run-wayland-tests.sh $TEST_DIR || status=1
stage_done "Wayland"

# Threaded tests again under ThreadSanitizer (targets listed in tests/tsan-targets.txt).
if [ -s tests/tsan-targets.txt ]; then
  TSAN_DIR=build/tsan
  cmake -S . -B $TSAN_DIR -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 $DEBUG_INFO -DKV_TSAN=ON -DKV_BENCH=OFF >/dev/null
  targets=$(grep -v '^#' tests/tsan-targets.txt | tr '\n' ' ')
  cmake --build $TSAN_DIR -j"$JOBS" --target $targets
  for t in $targets; do
    exe=$(find $TSAN_DIR -type f -name "$t" -perm -u+x | head -n 1)
    echo "ThreadSanitizer: $t"
    TSAN_OPTIONS=halt_on_error=1 "$exe" --gtest_brief=1 || status=1
  done
  stage_done "ThreadSanitizer"
fi

# The engine's API reference: a Doxygen warning on a public header fails it.
./scripts/make-docs.sh || status=1
stage_done "API reference"

# Fuzz targets: the same inputs every run (committed corpora, a fixed seed).
if command -v clang++ >/dev/null 2>&1 && ls fuzz/*/CMakeLists.txt >/dev/null 2>&1; then
  ./scripts/fuzz.sh gate || status=1
  stage_done "fuzz gate"
fi

# The Windows build under Wine: the suites, the program, the scripted game.
./scripts/wine-tests.sh $TEST_DIR || status=1
stage_done "Windows under Wine"

# The engine as another game uses it: the installed SDK found with
# find_package and with pkg-config, and the Windows build's SDK cross-built
# against and run under Wine (tests/consumer/run.sh).
./tests/consumer/run.sh $TEST_DIR build/wine/build || status=1
stage_done "SDK consumers"

# The browser build's stage: the page and the wasm replay (libraries cached
# outside the clone), the replay against the native one, the page in
# headless Chromium against the desktop ES driver.
./scripts/test-web.sh $TEST_DIR || status=1
stage_done "browser"

# The score server as players reach it: whole games from Linux, Windows and
# the page verified on loopback, strangers' runs refused, a bounded load.
./scripts/test-scores.sh $TEST_DIR || status=1
stage_done "score server"

echo "make test: $(( $(date +%s) - began )) s in all, by stage:$times"
[ $status -eq 0 ] && echo "make test: all passed" || echo "make test: FAILED (see above)"
exit $status
