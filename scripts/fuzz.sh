#!/bin/sh
# The libFuzzer targets (fuzz/<what>/, built with clang into build/fuzz).
#   scripts/fuzz.sh gate            the stage of make test: each target runs its
#                                   committed corpus (fuzz/corpus/<target>) and then a
#                                   fixed number of inputs from a fixed seed, so the
#                                   gate does the same work on every run and fails
#                                   only for a fault it finds every time
#   scripts/fuzz.sh long [SECONDS]  make fuzz: random seeds, SECONDS per target
#                                   (default 600); what it finds is kept in
#                                   build/fuzz/found/<target>/ (crashes, new inputs)
# FUZZ_TARGETS limits either to some targets (e.g. "fuzz_png fuzz_font").
set -e
cd "$(dirname "$0")/.."
mode=${1:-gate}
SECONDS_EACH=${2:-600}
# Inputs per target in the gate: about ten seconds each on the sanitised
# build (the decoders and the pixel conversions are the slow ones).
gate_runs() {
  case $1 in
    fuzz_audio_loaders|fuzz_pixmap) echo 2000 ;;
    fuzz_font|fuzz_server_request) echo 5000 ;;
    *) echo 30000 ;;
  esac
}
GATE_SEED=20261210
FUZZ_DIR=build/fuzz

command -v clang++ >/dev/null 2>&1 || { echo "fuzz: clang++ is missing (make deps-all installs it)"; exit 1; }
# Line tables only: a finding's stack names files and lines; the build is quicker.
CC=clang CXX=clang++ cmake -S . -B $FUZZ_DIR -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 \
  -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only -DCMAKE_C_FLAGS_DEBUG=-gline-tables-only \
  -DKV_FUZZ=ON -DKV_TESTS=OFF -DKV_BENCH=OFF -DKV_SERVER=ON >/dev/null
cmake --build $FUZZ_DIR -j"${JOBS:-2}" --target fuzz_all

status=0
for f in $FUZZ_DIR/fuzz/*/fuzz_*; do
  [ -f "$f" ] && [ -x "$f" ] || continue
  name=$(basename "$f")
  [ -z "$FUZZ_TARGETS" ] || case " $FUZZ_TARGETS " in *" $name "*) ;; *) continue ;; esac
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
  if [ "$mode" = gate ]; then
    runs=${FUZZ_RUNS:-$(gate_runs "$name")}
    how="-seed=$GATE_SEED -runs=$runs"
    echo "fuzzing $name: its corpus, then $runs inputs from seed $GATE_SEED"
  else
    found=$FUZZ_DIR/found/$name
    mkdir -p "$found"
    how="-max_total_time=$SECONDS_EACH"
    echo "fuzzing $name for $SECONDS_EACH s (random seed; findings in $found)"
  fi
  # libFuzzer's comparison tables are keyed by code addresses: with the
  # addresses randomised, the same seed takes other paths from run to run.
  # The gate runs at fixed addresses, so it repeats itself exactly.
  norandom=""
  [ "$mode" = gate ] && setarch "$(uname -m)" -R true 2>/dev/null && norandom="setarch $(uname -m) -R"
  t0=$(date +%s)
  # The gate reads its inputs from a copy and writes nothing back: the same
  # corpus every run. A long run keeps new inputs beside the crashes.
  if ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=$unwind LSAN_OPTIONS=suppressions=$supp:print_suppressions=0 \
      $norandom "$f" $how -reload=0 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="${found:-$work}/" \
      ${found:+"$found"} "$work" >"$work/log" 2>&1; then
    stat() { grep -E "^stat::$1:" "$work/log" | awk '{print $2}'; }
    echo "fuzz: $name: $(stat number_of_executed_units) inputs, $(stat new_units_added) new, in $(( $(date +%s) - t0 )) s"
  else
    tail -40 "$work/log"; echo "FAILED: $name"; status=1
    if [ -z "$found" ]; then
      found=$FUZZ_DIR/failed/$name; mkdir -p "$found"
      cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$found/" 2>/dev/null || true
    fi
    echo "fuzz: the failing input is in $found; once fixed, it joins fuzz/corpus/$name/ with a test"
  fi
  rm -rf "$work" "$work.supp"
  found=""
done
exit $status
