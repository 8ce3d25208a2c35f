#!/bin/sh
# Builds the sanitised test build and runs every test under a private Xvfb.
# Stages: ASan+UBSan tests (all), ThreadSanitizer for the threaded tests,
# a short libFuzzer run of each fuzz target when clang is present, the
# Windows build under Wine (scripts/wine-tests.sh) and the browser build in
# headless Chromium.
set -e
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}
TEST_DIR=build/test

cmake -S . -B $TEST_DIR -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DCMAKE_C_FLAGS=-O1 \
  -DKV_SANITIZE=ON -DKV_BENCH=OFF >/dev/null
cmake --build $TEST_DIR -j"$JOBS"

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
./scripts/run-wayland-tests.sh $TEST_DIR || status=1

# Threaded tests again under ThreadSanitizer (targets listed in tests/tsan-targets.txt).
if [ -s tests/tsan-targets.txt ]; then
  TSAN_DIR=build/tsan
  cmake -S . -B $TSAN_DIR -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DKV_TSAN=ON -DKV_BENCH=OFF >/dev/null
  targets=$(grep -v '^#' tests/tsan-targets.txt | tr '\n' ' ')
  cmake --build $TSAN_DIR -j"$JOBS" --target $targets
  for t in $targets; do
    exe=$(find $TSAN_DIR -type f -name "$t" -perm -u+x | head -n 1)
    echo "ThreadSanitizer: $t"
    TSAN_OPTIONS=halt_on_error=1 "$exe" --gtest_brief=1 || status=1
  done
fi

# Fuzz targets: a short run each, seeded from fuzz/corpus/<target> when present.
if command -v clang++ >/dev/null 2>&1 && ls fuzz/*/CMakeLists.txt >/dev/null 2>&1; then
  FUZZ_DIR=build/fuzz
  CC=clang CXX=clang++ cmake -S . -B $FUZZ_DIR -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 \
    -DKV_FUZZ=ON -DKV_TESTS=OFF -DKV_BENCH=OFF >/dev/null
  cmake --build $FUZZ_DIR -j"$JOBS" --target fuzz_all
  for f in $FUZZ_DIR/fuzz/*/fuzz_*; do
    [ -f "$f" ] && [ -x "$f" ] || continue
    name=$(basename "$f")
    work=$(mktemp -d)
    [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
    # The font target reads a size and a style byte, then the font: seed it
    # with installed fonts (an outline one and a bitmap one).
    if [ "$name" = fuzz_font ]; then
      for font in /usr/share/fonts/truetype/comfortaa/Comfortaa-Bold.ttf \
                  /usr/share/fonts/opentype/terminus/terminus-normal.otb; do
        [ -f "$font" ] && { printf '\025\001'; cat "$font"; } >"$work/seed-$(basename "$font")"
      done
    fi
    # The audio loaders start from the installed desktop sounds too (the small
    # ones, which keep the inputs short), and the decoder library's own leaks
    # on damaged headers are matched by its functions, with full unwinding.
    supp=$(pwd)/tests/lsan.supp; unwind=1
    if [ "$name" = fuzz_audio_loaders ]; then
      for snd in /usr/share/sounds/freedesktop/stereo/*.oga; do
        [ -f "$snd" ] && [ "$(stat -c %s "$snd")" -lt 65536 ] && cp "$snd" "$work/seed-$(basename "$snd")"
      done
      supp="$work.supp"; unwind=0
      cat tests/lsan.supp fuzz/audio_loaders/lsan.supp >"$supp"
    fi
    echo "fuzzing $name"
    if ! ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=$unwind LSAN_OPTIONS=suppressions=$supp:print_suppressions=0 \
        "$f" -max_total_time="${FUZZ_SECONDS:-10}" -rss_limit_mb=2048 -print_final_stats=0 \
        -artifact_prefix="$work/" "$work" >"$work/log" 2>&1; then
      tail -40 "$work/log"; echo "FAILED: $name"; status=1
    fi
    rm -rf "$work" "$work.supp"
  done
fi

# The Windows build under Wine: the suites, the program, the scripted game.
./scripts/wine-tests.sh $TEST_DIR || status=1

# The browser build's stage: the page and the wasm replay (libraries cached
# outside the clone), the replay against the native one, the page in
# headless Chromium against the desktop ES driver.
./scripts/test-web.sh $TEST_DIR || status=1

exit $status
