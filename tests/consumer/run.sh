#!/bin/bash
# The engine as another game's developer meets it (a stage of
# scripts/run-tests.sh): the SDK component of a built tree installed into a
# scratch prefix, and examples/hello built outside the tree against it, once
# with find_package (CMakeLists.txt here) and once with pkg-config (Makefile
# here). Each program runs under Xvfb: its window shows text, Escape closes
# it, status 0 (tests/examples/drive_example.py). With a Windows build, the same CMake
# project cross-built against that tree's SDK and run under Wine.
#   run.sh NATIVE_BUILD [WINDOWS_BUILD]
# Both builds are made already (make test: build/test and build/wine/build);
# the SDK's libraries are built again only if missing. All of it happens in
# a scratch folder outside the tree, kept (and named) when something fails
# or KV_CONSUMER_KEEP is set.
set -euo pipefail
cd "$(dirname "$0")/../.."
SRC=$(pwd)
NATIVE=$(cd "$1" && pwd)
WINDOWS=${2:+$(cd "$2" && pwd)}
JOBS=${JOBS:-2}
KEEP=${KV_CONSUMER_KEEP:-}
t0=$SECONDS
failed=""
fail() { echo "FAILED: $*"; failed="$failed
  $*"; }
OUT=$(mktemp -d /tmp/kelvora-consumer.XXXXXX)
trap 'echo "consumer: stopped at line $LINENO of $0" >&2; failed="$failed (stopped)"' ERR
own_server=""
trap '[ -z "$own_server" ] || wineserver -k 2>/dev/null || true
      if [ -z "$failed$KEEP" ]; then rm -rf "$OUT"; else echo "consumer: what was built and run is in $OUT"; fi' EXIT

# A project with nothing of the tree but the example's source.
consumer_project() {  # DIR: the consumer project with hello.cpp beside it
  mkdir -p "$1"
  cp tests/consumer/CMakeLists.txt tests/consumer/Makefile examples/hello/hello.cpp "$1/"
}
# Nothing of the source tree on a compiler's or linker's command line, nor
# among the headers a compile read: the SDK alone must do.
outside_tree() {  # WHAT FILES...
  local what=$1
  shift
  if grep -lF "$SRC/" "$@"; then fail "$what reaches into the source tree"; fi
}
cmake_outside_tree() {  # WHAT BUILD: hello's compile and link commands and the headers it read
  local files
  mapfile -t files < <(find "$2/CMakeFiles/hello.dir" -type f \
    \( -name '*.make' -o -name link.txt -o -name '*.rsp' -o -name '*.d' \))
  outside_tree "$1" "${files[@]}"
}
# The program under Xvfb as a player meets it: its window shows text, Escape
# closes it, status 0 (tests/examples/drive_example.py); its first picture
# kept in DIR.
run_window() {  # DIR [--wine] PROGRAM
  local dir=$1 wine=""
  shift
  [ "$1" != --wine ] || { wine=--wine; shift; }
  ./scripts/with-xvfb.sh python3 tests/examples/drive_example.py $wine --out "$dir" -- "$@"
}
install_sdk() {  # BUILD PREFIX
  cmake --build "$1" -j"$JOBS" --target kv_sdk >/dev/null
  cmake --install "$1" --component sdk --prefix "$2" >/dev/null
}

# The test build's engine is sanitised: its programs run as the suites do.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$SRC/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export MESA_SHADER_CACHE_DISABLE=true

install_sdk "$NATIVE" "$OUT/sdk"
echo "consumer: SDK installed in $OUT/sdk ($(find "$OUT/sdk" -type f | wc -l) files)"

# find_package(Kelvora 1.0) and kelvora::engine.
consumer_project "$OUT/cmake"
if cmake -S "$OUT/cmake" -B "$OUT/cmake/build" -DCMAKE_PREFIX_PATH="$OUT/sdk" >"$OUT/cmake.log" 2>&1 &&
   cmake --build "$OUT/cmake/build" -j"$JOBS" >>"$OUT/cmake.log" 2>&1; then
  cmake_outside_tree "the CMake build" "$OUT/cmake/build"
  run_window "$OUT/cmake-run" "$OUT/cmake/build/hello" || fail "hello built with find_package, under Xvfb"
else
  tail -n 30 "$OUT/cmake.log"
  fail "hello with find_package ($OUT/cmake.log)"
fi

# pkg-config --cflags --libs kelvora.
consumer_project "$OUT/pkg-config"
if PKG_CONFIG_PATH="$OUT/sdk/lib/pkgconfig" make -C "$OUT/pkg-config" CXXFLAGS="-O1 -MMD" \
     >"$OUT/pkg-config.log" 2>&1; then
  outside_tree "the pkg-config build" "$OUT/pkg-config.log" "$OUT/pkg-config/hello.d"
  run_window "$OUT/pkg-config-run" "$OUT/pkg-config/hello" || fail "hello built with pkg-config, under Xvfb"
else
  tail -n 30 "$OUT/pkg-config.log"
  fail "hello with pkg-config ($OUT/pkg-config.log)"
fi
# One program, one picture: however it was built, on whichever system.
same_picture() {  # WHAT A.png B.png
  [ -f "$2" ] && [ -f "$3" ] || return 0
  local differ
  differ=$(compare -metric AE "$2" "$3" null: 2>&1) || fail "$1: $differ pixels differ ($2, $3)"
}
same_picture "hello from find_package and from pkg-config" "$OUT/cmake-run/01-first.ppm" "$OUT/pkg-config-run/01-first.ppm"
echo "consumer: Linux in $((SECONDS - t0)) s"

if [ -n "$WINDOWS" ]; then
  t1=$SECONDS
  deps=$(sed -n 's/^KV_WINDOWS_DEPS:[A-Z]*=//p' "$WINDOWS/CMakeCache.txt")
  install_sdk "$WINDOWS" "$OUT/windows-sdk"
  consumer_project "$OUT/windows"
  if cmake -S "$OUT/windows" -B "$OUT/windows/build" -DCMAKE_TOOLCHAIN_FILE="$SRC/cmake/mingw-w64.cmake" \
       -DKV_WINDOWS_DEPS="$deps" -DCMAKE_PREFIX_PATH="$OUT/windows-sdk" >"$OUT/windows.log" 2>&1 &&
     cmake --build "$OUT/windows/build" -j"$JOBS" >>"$OUT/windows.log" 2>&1; then
    cmake_outside_tree "the Windows build" "$OUT/windows/build"
    # The prefix of the Wine stage (scripts/wine-tests.sh) when there is one.
    export WINEPREFIX=${WINEPREFIX:-$SRC/build/wine/prefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$(dirname "$WINEPREFIX")"
    if [ -f "$WINEPREFIX/system.reg" ] || { wineboot --init </dev/null >"$OUT/wineboot.log" 2>&1 && wineserver -w; }; then
      # One wineserver for the run, ended here unless the caller's was running.
      wineserver -p </dev/null >/dev/null 2>&1 && own_server=1
      run_window "$OUT/windows-run" --wine "$OUT/windows/build/hello.exe" || fail "hello.exe under Wine"
      same_picture "hello on Linux and under Wine" "$OUT/cmake-run/01-first.ppm" "$OUT/windows-run/01-first.ppm"
    else
      fail "no Wine prefix in $WINEPREFIX ($OUT/wineboot.log)"
    fi
  else
    tail -n 30 "$OUT/windows.log"
    fail "hello.exe with find_package, cross-built ($OUT/windows.log)"
  fi
  echo "consumer: Windows in $((SECONDS - t1)) s"
fi

echo "consumer: stage took $((SECONDS - t0)) s"
[ -z "$failed" ] || { echo "consumer stage failed:$failed"; exit 1; }
echo "consumer: hello built with find_package and pkg-config${WINDOWS:+ and for Windows}, each ran and closed on Escape"
